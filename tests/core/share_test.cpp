// Sharing the frames: the igate's rules and lines, the keys that switch sharing on, a KISS client's queue.
#include "app/client_queue.h"
#include "app/configuration.h"
#include "app/igate.h"
#include "core_test.h"
#include "decoder/decode.h"
#include "frames.h"
#include "kiss/frame_assembler.h"

namespace quillon::test { namespace {

std::optional<std::string> Gate(const std::string& kiss)
{
    ReceiveState rx{};
    for (const char c : kiss)
        AssembleByte(rx, std::uint8_t(c));
    return IgateLine(DecodeAx25Frame(rx), "N0CALL-10");
}

TEST(Igate, GatesByTheRulesForIgatesAndSendsTheLineAsHeard)
{
    const Ax25Address src{"OH2XYZ", 9}, dst{"APRS"};
    const Ax25Address wide1{"WIDE1", 1, true}, wide2{"WIDE2", 1}, relay{"OH2RDP", 0, true};
    const std::string pos = "!6028.51N/02505.68E#PHG7220";
    struct Case { const char* what; std::string kiss; std::optional<std::string> line; };
    const Case cases[] = {
        {"position, no path", Kiss({dst, src, {}, 0x03, 0xF0, pos}), "OH2XYZ-9>APRS,qAO,N0CALL-10:" + pos + "\r\n"},
        {"star only on the last repeated", Kiss({dst, src, {relay, wide1, wide2}, 0x03, 0xF0, pos}),
         "OH2XYZ-9>APRS,OH2RDP,WIDE1-1*,WIDE2-1,qAO,N0CALL-10:" + pos + "\r\n"},
        {"UI with the poll bit", Kiss({dst, src, {}, 0x13, 0xF0, ">status"}), "OH2XYZ-9>APRS,qAO,N0CALL-10:>status\r\n"},
        {"bytes unchanged, cut at CR", Kiss({dst, src, {}, 0x03, 0xF0, ">a \xE4 b  \rrest"}),
         "OH2XYZ-9>APRS,qAO,N0CALL-10:>a \xE4 b  \r\n"},
        {"cut at LF", Kiss({dst, src, {}, 0x03, 0xF0, ">x\ny"}), "OH2XYZ-9>APRS,qAO,N0CALL-10:>x\r\n"},
        {"FEND in the payload, escaped on the air", Kiss({dst, src, {}, 0x03, 0xF0, ">\xC0\xDB"}),
         "OH2XYZ-9>APRS,qAO,N0CALL-10:>\xC0\xDB\r\n"},
        {"I frame", Kiss({dst, src, {}, 0x00, 0xF0, pos}), std::nullopt},
        {"UI with another PID", Kiss({dst, src, {}, 0x03, 0xCC, pos}), std::nullopt},
        {"not a data frame", Kiss({dst, src, {}, 0x03, 0xF0, pos}, 0x06), std::nullopt},
        {"SMACK port 1 data", Kiss({dst, src, {}, 0x03, 0xF0, pos}, 0x10), "OH2XYZ-9>APRS,qAO,N0CALL-10:" + pos + "\r\n"},
        {"TCPIP", Kiss({dst, src, {{"TCPIP", 0, true}}, 0x03, 0xF0, pos}), std::nullopt},
        {"TCPXX", Kiss({dst, src, {{"TCPXX"}}, 0x03, 0xF0, pos}), std::nullopt},
        {"NOGATE", Kiss({dst, src, {wide1, {"NOGATE"}}, 0x03, 0xF0, pos}), std::nullopt},
        {"RFONLY", Kiss({dst, src, {{"RFONLY"}}, 0x03, 0xF0, pos}), std::nullopt},
        {"generic query", Kiss({dst, src, {}, 0x03, 0xF0, "?APRS?"}), std::nullopt},
        {"a directed query is a message", Kiss({dst, src, {}, 0x03, 0xF0, ":N0CALL   :?APRSP"}),
         "OH2XYZ-9>APRS,qAO,N0CALL-10::N0CALL   :?APRSP\r\n"},
        {"empty payload", Kiss({dst, src, {}, 0x03, 0xF0, ""}), std::nullopt},
        {"third party: the packet inside", Kiss({dst, src, {wide1}, 0x03, 0xF0, "}DL1ABC>APRS,WIDE1*,WIDE2*,WIDE3:" + pos + "\rx"}),
         "DL1ABC>APRS,WIDE1,WIDE2*,WIDE3,qAO,N0CALL-10:" + pos + "\r\n"},
        {"third party from the net", Kiss({dst, src, {}, 0x03, 0xF0, "}DL1ABC>APRS,TCPIP,OH2XYZ*:" + pos}), std::nullopt},
        {"third party via TCPXX", Kiss({dst, src, {}, 0x03, 0xF0, "}DL1ABC>APRS,TCPXX*:" + pos}), std::nullopt},
        {"third party query", Kiss({dst, src, {}, 0x03, 0xF0, "}DL1ABC>APRS:?APRS?"}), std::nullopt},
        {"third party, broken header", Kiss({dst, src, {}, 0x03, 0xF0, "}DL1ABC:" + pos}), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Gate(c.kiss), c.line) << c.what;
}

TEST(Configuration, SharingKeysSwitchTheServerAndTheIgateOn)
{
    struct Case { const char* ini; std::optional<TcpAddress> server, igate; IgateLogin login; std::size_t refused; };
    const Case cases[] = {
        {"", {}, {}, {}, 0},
        {"KISS_SERVER=8002", TcpAddress{"127.0.0.1", 8002}, {}, {}, 0},
        {"KISS_SERVER=[::1]:8002", TcpAddress{"::1", 8002}, {}, {}, 0},
        {"KISS_SERVER=localhost", {}, {}, {}, 1},
        {"igate_call=n0call-10\nIGATE_PASSCODE=13023\nIGATE_SERVER=rotate.aprs2.net\nIGATE_FILTER= r/60.4/25.0/50 ",
         {}, TcpAddress{"ROTATE.APRS2.NET", 14580}, {"N0CALL-10", "13023", "r/60.4/25.0/50"}, 0},
        {"IGATE_CALL=N0CALL\nIGATE_SERVER=127.0.0.1:10152", {}, TcpAddress{"127.0.0.1", 10152}, {"N0CALL", "", ""}, 0},
        {"IGATE_CALL=N0CALL", {}, {}, {"N0CALL", "", ""}, 1},
    };
    for (const Case& c : cases) {
        const Settings s = ParseSettings(c.ini);
        EXPECT_EQ(s.kissServer, c.server) << c.ini;
        EXPECT_EQ(s.igateServer, c.igate) << c.ini;
        if (c.igate) {
            EXPECT_EQ(s.igate, c.login) << c.ini;
        }
        EXPECT_EQ(s.sharingRefused.size(), c.refused) << c.ini;
    }
}

TEST(ClientQueue, TakesWholeFramesUpToItsLimitAndCallsAClientThatTakesNothingStalled)
{
    using namespace std::chrono_literals;
    ClientQueue q;
    const ClientQueue::Clock::time_point t0{};
    EXPECT_TRUE(q.Offer(0, ClientQueue::kLimit, t0));
    EXPECT_FALSE(q.Offer(ClientQueue::kLimit - 10, 11, t0));  // never a part of it
    EXPECT_TRUE(q.Offer(ClientQueue::kLimit - 10, 10, t0));
    EXPECT_EQ(q.FramesDropped(), 1u);

    EXPECT_FALSE(q.Stalled(100, t0 + 59s));
    EXPECT_TRUE(q.Stalled(100, t0 + 60s));
    EXPECT_FALSE(q.Stalled(0, t0 + 600s));  // nothing waits: an idle client is no stalled one
    q.Taken(t0 + 50s);
    EXPECT_FALSE(q.Stalled(100, t0 + 100s));
    q.Offer(0, 10, t0 + 200s);  // waiting again after an empty queue: the minute starts now
    EXPECT_FALSE(q.Stalled(10, t0 + 250s));
}

} }  // namespace quillon::test
