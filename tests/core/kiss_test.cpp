// KISS at the byte level: frames cut from the byte stream, their escapes undone and counted.
#include "core_test.h"
#include "kiss/escapes.h"
#include "kiss/frame_assembler.h"

namespace quillon::test { namespace {

// FEND, command 00, 'A's, FEND: `length` bytes.
std::string Frame(std::size_t length) { return Bytes("C0 00") + std::string(length - 3, 'A') + '\xC0'; }

struct Assembly {
    std::vector<std::string> frames;
    int idle = 0, dropped = 0;  // idle: results after which the caller takes the last-frame time
    bool operator==(const Assembly&) const = default;
};

Assembly Assemble(std::string_view stream)
{
    ReceiveState rx;
    Assembly out;
    for (const char c : stream) {
        const Assembled a = AssembleByte(rx, std::uint8_t(c));
        a == Assembled::Frame ? out.frames.push_back(Text(rx.Bytes())) : void();
        out.idle += EndsIdle(a);
        out.dropped += a == Assembled::Dropped;
    }
    return out;
}

TEST(FrameAssembler, CutsFramesAtTheirFends)
{
    const std::string a = Bytes("C0 41 C0"), b = Bytes("C0 42 C0");
    const struct { const char* name; std::string stream; Assembly expected; } cases[] = {
        {"one frame", Frame(4), {{Frame(4)}, 1, 0}}, {"empty frame", Bytes("C0 C0"), {{}, 0, 0}},
        {"noise", "abc", {{}, 3, 0}}, {"two frames", a + b, {{a, b}, 2, 0}},
        {"doubled FEND between frames", a + Bytes("C0") + b, {{a, b}, 2, 0}},
        {"single FEND between frames loses the second", a + Bytes("43 C0") + b.substr(1), {{a, b}, 3, 0}},
        {"noise before the first FEND", "cmd:" + Frame(4), {{Frame(4)}, 5, 0}},
        {"escaped FEND stays escaped", Bytes("C0 00 DB DC 41 C0"), {{Bytes("C0 00 DB DC 41 C0")}, 1, 0}},
        {"1024-byte frame", Frame(1024), {{Frame(1024)}, 1, 0}}, {"1025 bytes dropped", Frame(1025) + Frame(5), {{Frame(5)}, 2, 1}},
        {"2000-byte frame dropped, next one read", Frame(2000) + Frame(5), {{Frame(5)}, 976, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Assemble(c.stream), c.expected) << c.name;
}

// The escapes undone leniently, and counted only as the sequences they were received as.
TEST(KissEscapes, UndoneLenientlyAndCountedAsReceived)
{
    const struct { const char *frame, *undone; std::uint32_t tfesc, tfend; } cases[] = {
        {"C0 00 41 DB DC 42 DB DD C0", "C0 00 41 C0 42 DB C0", 1, 1}, {"C0 DB DC DB DC DB DD C0", "C0 C0 C0 DB C0", 1, 2},
        {"C0 00 DC DD C0", "C0 00 DC DD C0", 0, 0},     // TFEND and TFESC without FESC are ordinary
        {"C0 00 DB 41 DC C0", "C0 00 41 C0 C0", 0, 0},  // the escape waits past a plain byte
        {"C0 00 DB DB DD C0", "C0 00 DB C0", 1, 0},     // a second FESC while one is pending is dropped too
        {"C0 00 41 DB C0", "C0 00 41 C0", 0, 0},        // a dangling FESC
    };
    for (const auto& c : cases) {
        const std::string raw = Bytes(c.frame);
        const ByteString frame(raw.begin(), raw.end());
        ByteString undone(frame.size());
        undone.resize(UnescapeKiss(frame, undone).length);
        const EscapeCounts n = CountKissEscapes(frame);
        EXPECT_EQ(std::tuple(Text(undone), n.tfesc, n.tfend), std::tuple(Bytes(c.undone), c.tfesc, c.tfend)) << c.frame;
    }
}

} }  // namespace quillon::test
