// quillon-pcap end to end: the sample log converted and read back by tshark,
// which must find the frames and the calls that quillon-dump reports for the
// same log, at the times of the log's time frames (or of the file when the
// log has none).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/run_tool.h"
#include "tnc/frame_assembler.h"
#include "tools/time_frame.h"

namespace quillon::test {
namespace {

using namespace std::chrono;

const std::string kProgramDir = QUILLON_PROGRAM_DIR;
const std::string kPcapTool = kProgramDir + "/quillon-pcap";
const std::string kDumpTool = kProgramDir + "/quillon-dump";
const std::string kSample = kProgramDir + "/sample.kss";

struct Packet {
    long long micros = 0;  // since 1970
    std::string source, destination;
    std::uint8_t command = 0;  // the KISS command byte, from the pcap file itself
};

struct Report {
    std::vector<long long> micros;  // of each header line
    std::vector<std::pair<std::string, std::string>> calls;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// "2013-07-28 14:05:01.120" as microseconds since 1970.
long long StampMicros(const std::smatch& m)
{
    const auto n = [&m](int i) { return std::stoi(m[i].str()); };
    const sys_days date = year{n(1)} / month(unsigned(n(2))) / day(unsigned(n(3)));
    const auto t = date + hours{n(4)} + minutes{n(5)} + seconds{n(6)} + milliseconds{n(7)};
    return duration_cast<microseconds>(t.time_since_epoch()).count();
}

// The frames quillon-dump reports: header times and "from SRC to DST" lines.
Report ParseDump(const std::string& text)
{
    static const std::regex header(R"(^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{3}) UTC: \[.*)");
    static const std::regex from(R"(^from (\S+) to (\S+?)(?: via [^:]*)?: $)");
    Report report;
    for (const std::string& line : Lines(text)) {
        std::smatch m;
        if (std::regex_match(line, m, header))
            report.micros.push_back(StampMicros(m));
        else if (std::regex_match(line, m, from))
            report.calls.emplace_back(m[1].str(), m[2].str());
    }
    return report;
}

// An AX.25 address as tshark prints the field, "9c:60:86:82:98:98:72", as
// "N0CALL-9"; empty when the frame had none.
std::string CallOf(const std::string& field)
{
    std::vector<unsigned> bytes;
    std::istringstream in(field);
    for (std::string hex; std::getline(in, hex, ':');)
        bytes.push_back(unsigned(std::stoul(hex, nullptr, 16)));
    if (bytes.size() != 7)
        return field;
    std::string call;
    for (int i = 0; i < 6; ++i)
        if (const char c = char(bytes[std::size_t(i)] >> 1); c != ' ')
            call.push_back(c);
    const unsigned ssid = (bytes[6] >> 1) & 0x0F;
    return ssid == 0 ? call : call + "-" + std::to_string(ssid);
}

// tshark's lines "number TAB epoch TAB src TAB dst"; the rest of its output
// (the warning about running as root) is left out.
std::vector<Packet> ParseTshark(const std::string& text)
{
    static const std::regex fields(R"(^(\d+)\t(\d+)\.(\d{6})\d*\t([^\t]*)\t([^\t]*)$)");
    std::vector<Packet> packets;
    for (const std::string& line : Lines(text)) {
        std::smatch m;
        if (std::regex_match(line, m, fields))
            packets.push_back({std::stoll(m[2].str()) * 1000000 + std::stoll(m[3].str()),
                               m[4].length() > 0 ? CallOf(m[4].str()) : "",
                               m[5].length() > 0 ? CallOf(m[5].str()) : ""});
    }
    return packets;
}

// The first byte of every record of a pcap file (24-byte file header, then
// 16-byte record headers with the stored length at offset 8).
std::vector<std::uint8_t> CommandBytes(const std::string& pcap)
{
    std::vector<std::uint8_t> commands;
    const auto u32 = [&pcap](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(pcap[at + std::size_t(i)]);
        return v;
    };
    for (std::size_t at = 24; at + 16 <= pcap.size(); at += 16 + u32(at + 8))
        commands.push_back(u32(at + 8) > 0 ? static_cast<std::uint8_t>(pcap[at + 16]) : 0);
    return commands;
}

// tshark reads the file only: no name resolution, its settings in `home`.
std::vector<Packet> ReadWithTshark(const std::string& pcap, const std::string& home, std::string& output)
{
    const std::string tshark = FindOnPath("tshark");
    if (tshark.empty()) {
        ADD_FAILURE() << "tshark is not installed (scripts/setup installs it)";
        return {};
    }
    const ToolRun run = RunTool({tshark, "-n", "-r", pcap, "-T", "fields", "-E", "header=n", "-E", "separator=/t",
                                 "-e", "frame.number", "-e", "frame.time_epoch", "-e", "ax25.src", "-e", "ax25.dst"},
                                {"HOME=" + home, "WIRESHARK_CONFIG_DIR=" + home, "LC_ALL=C"});
    output = run.output;
    EXPECT_TRUE(run.Succeeded()) << "tshark " << run.status.Describe() << "\n" << run.output;
    std::vector<Packet> packets = ParseTshark(run.output);
    const std::vector<std::uint8_t> commands = CommandBytes(ReadBinaryFile(pcap));
    for (std::size_t i = 0; i < packets.size() && i < commands.size(); ++i)
        packets[i].command = commands[i];
    return packets;
}

// Every frame the dump reports is a packet for tshark, with the same calls.
// Frames for KISS port 0 must be dissected exactly so; for the others (SMACK
// 0x80, port 1 0x10) Wireshark may show less, but never other calls.
void ExpectSameFrames(const Report& dump, const std::vector<Packet>& packets, const std::string& tsharkOutput)
{
    ASSERT_FALSE(dump.calls.empty());
    ASSERT_EQ(packets.size(), dump.calls.size()) << tsharkOutput;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const Packet& p = packets[i];
        const auto& [source, destination] = dump.calls[i];
        if (p.command != 0x00 && p.source.empty())
            continue;
        EXPECT_EQ(p.source, source) << "frame " << i + 1 << ", KISS command " << int(p.command);
        EXPECT_EQ(p.destination, destination) << "frame " << i + 1 << ", KISS command " << int(p.command);
    }
}

Report DumpReport(const std::string& log)
{
    const ToolRun run = RunTool({kDumpTool, "--color=never", log});
    EXPECT_TRUE(run.Succeeded()) << "quillon-dump " << run.status.Describe();
    return ParseDump(run.output);
}

void Convert(const std::string& log, const std::string& pcap)
{
    const ToolRun run = RunTool({kPcapTool, log, pcap});
    ASSERT_TRUE(run.Succeeded()) << "quillon-pcap " << run.status.Describe() << "\n" << run.output;
    EXPECT_EQ(run.output, "");
}

// The sample with its time frames taken out, as a log of TIMEFRAMES=NO.
std::string WithoutTimeFrames(const std::string& log)
{
    ReceiveState rx;
    std::string out;
    for (const char c : log)
        if (AssembleByte(rx, static_cast<std::uint8_t>(c)) == Assembled::Frame && !ReadTimeFrame(rx))
            out.append(reinterpret_cast<const char*>(&rx.RawFrame[1]), std::size_t(rx.RawFrameLength));
    return out;
}

TEST(PcapTool, SampleWithTimeFramesReadsBackInTshark)
{
    TempDir temp;
    Convert(kSample, temp / "sample.pcap");
    const Report dump = DumpReport(kSample);
    std::string output;
    const std::vector<Packet> packets = ReadWithTshark(temp / "sample.pcap", temp.Path(), output);
    ExpectSameFrames(dump, packets, output);
    ASSERT_EQ(dump.micros.size(), packets.size());
    for (std::size_t i = 0; i < packets.size(); ++i)
        EXPECT_EQ(packets[i].micros, dump.micros[i]) << "time of frame " << i + 1;
}

TEST(PcapTool, SampleWithoutTimeFramesTakesTheFileTime)
{
    TempDir temp;
    const std::string log = temp / "plain.kss";
    WriteBinaryFile(log, WithoutTimeFrames(ReadBinaryFile(kSample)));
    const timespec times[2] = {{1700000000, 0}, {1700000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, log.c_str(), times, 0), 0);
    Convert(log, temp / "plain.pcap");
    std::string output;
    const std::vector<Packet> packets = ReadWithTshark(temp / "plain.pcap", temp.Path(), output);
    ExpectSameFrames(DumpReport(log), packets, output);
    for (const Packet& p : packets)
        EXPECT_EQ(p.micros, 1700000000123456LL);
}

TEST(PcapTool, ErrorsNameTheFile)
{
    TempDir temp;
    const ToolRun missing = RunTool({kPcapTool, temp / "missing.kss", temp / "out.pcap"});
    EXPECT_TRUE(missing.status.exited && missing.status.code == 1) << missing.status.Describe();
    EXPECT_NE(missing.output.find("missing.kss"), std::string::npos) << missing.output;

    const ToolRun unwritable = RunTool({kPcapTool, kSample, temp / "no/such/dir/out.pcap"});
    EXPECT_TRUE(unwritable.status.exited && unwritable.status.code == 1) << unwritable.status.Describe();
    EXPECT_NE(unwritable.output.find("out.pcap"), std::string::npos) << unwritable.output;

    WriteBinaryFile(temp / "log.kss", ReadBinaryFile(kSample));
    const ToolRun same = RunTool({kPcapTool, temp / "log.kss", temp / "log.kss"});
    EXPECT_TRUE(same.status.exited && same.status.code == 1) << same.status.Describe();
    EXPECT_EQ(ReadBinaryFile(temp / "log.kss"), ReadBinaryFile(kSample)) << "the log must stay as it was";
}

TEST(PcapTool, HelpShowsTheUsage)
{
    const ToolRun help = RunTool({kPcapTool, "--help"});
    EXPECT_TRUE(help.Succeeded()) << help.status.Describe();
    EXPECT_EQ(help.output.rfind("usage: quillon-pcap IN.kss OUT.pcap\n", 0), 0u) << help.output;
    const ToolRun wrong = RunTool({kPcapTool, kSample});
    EXPECT_TRUE(wrong.status.exited && wrong.status.code == 2) << wrong.status.Describe();
}

}  // namespace
}  // namespace quillon::test
