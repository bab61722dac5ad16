#include "decoder/decoder_fixtures.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

namespace quillon::test {

ByteString Hex(std::string_view pairs)
{
    ByteString bytes;
    for (std::size_t i = 0; i < pairs.size(); i += 3)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(pairs.substr(i, 2)), nullptr, 16)));
    return bytes;
}

ReceiveState Received(std::span<const std::uint8_t> frame)
{
    if (frame.size() > kRawFrameSize)
        throw std::length_error("frame longer than the receive buffer");
    ReceiveState rx;
    std::copy(frame.begin(), frame.end(), rx.RawFrame.begin() + 1);
    rx.RawFrameLength = static_cast<std::int16_t>(frame.size());
    return rx;
}

ReceiveState ReceivedAx25(const Ax25Frame& frame, std::uint8_t command)
{
    return Received(EncodeKissFrame(command, EncodeAx25(frame)));
}

std::vector<ConsoleLine> ConsoleLines(const std::vector<ConsoleRun>& runs)
{
    std::vector<ConsoleLine> lines;
    for (const ConsoleRun& run : runs) {
        std::string_view rest = run.text;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\r');
            if (end == std::string_view::npos)
                throw std::logic_error("console run without a closing CR: " + run.text);
            lines.push_back({std::string(rest.substr(0, end)), run.colour});
            rest.remove_prefix(end + 1);
        }
    }
    return lines;
}

void PrintTo(const ConsoleLine& line, std::ostream* os)
{
    *os << '"' << line.text << "\" in colour 0x" << std::hex << line.colour << std::dec;
}

std::chrono::system_clock::time_point ExampleTime()
{
    using namespace std::chrono;
    return sys_days{year{2013} / July / 28} + hours{14} + minutes{5} + seconds{9} + milliseconds{437};
}

}  // namespace quillon::test
