#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tnc/frame_assembler.h"

namespace quillon {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    std::vector<Bytes> frames;
    int idleBytes = 0;  // results that update the last-frame time
    int dropped = 0;
};

Outcome Feed(const Bytes& stream)
{
    ReceiveState rx;
    ResetFrameAssembly(rx);
    Outcome out;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        const Assembled a = AssembleByte(rx, stream[i]);
        if (a == Assembled::Frame)
            out.frames.emplace_back(&rx.At(1), &rx.At(1) + rx.RawFrameLength);
        if (a == Assembled::Dropped)
            ++out.dropped;
        if (EndsIdle(a))
            ++out.idleBytes;
    }
    return out;
}

Bytes Frame(std::size_t length)
{
    Bytes f(length, 0x41);
    f.front() = FEND;
    f[1] = 0x00;
    f.back() = FEND;
    return f;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct AssemblerCase {
    const char* name;
    Bytes stream;
    std::vector<Bytes> frames;
};

TEST(FrameAssembler, CutsFramesAtTheirFends)
{
    const AssemblerCase cases[] = {
        {"one frame", {0xC0, 0x00, 0x41, 0xC0}, {{0xC0, 0x00, 0x41, 0xC0}}},
        {"empty frame", {0xC0, 0xC0}, {}},
        {"two frames", {0xC0, 0x41, 0xC0, 0xC0, 0x42, 0xC0}, {{0xC0, 0x41, 0xC0}, {0xC0, 0x42, 0xC0}}},
        {"doubled FEND between frames",
         {0xC0, 0x41, 0xC0, 0xC0, 0xC0, 0x42, 0xC0},
         {{0xC0, 0x41, 0xC0}, {0xC0, 0x42, 0xC0}}},
        {"single FEND between frames loses the second",
         {0xC0, 0x41, 0xC0, 0x42, 0xC0, 0x43, 0xC0},
         {{0xC0, 0x41, 0xC0}, {0xC0, 0x43, 0xC0}}},
        {"noise before the first FEND", {'c', 'm', 'd', ':', 0xC0, 0x00, 0x41, 0xC0}, {{0xC0, 0x00, 0x41, 0xC0}}},
        {"escaped FEND stays escaped",
         {0xC0, 0x00, 0xDB, 0xDC, 0x41, 0xC0},
         {{0xC0, 0x00, 0xDB, 0xDC, 0x41, 0xC0}}},
        {"1024-byte frame", Frame(1024), {Frame(1024)}},
        {"1025-byte frame dropped, next one read", Cat({Frame(1025), Frame(5)}), {Frame(5)}},
        {"2000-byte frame dropped, next one read", Cat({Frame(2000), Frame(5)}), {Frame(5)}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Feed(c.stream).frames, c.frames) << c.name;
    }
}

TEST(FrameAssembler, BytesOutsideFramesAndEmptyFramesTouchTheLastFrameTime)
{
    const Outcome noise = Feed({'a', 'b', 'c'});
    EXPECT_EQ(noise.idleBytes, 3);
    EXPECT_TRUE(noise.frames.empty());

    const Outcome frame = Feed({0xC0, 0x00, 0x41, 0xC0});
    EXPECT_EQ(frame.idleBytes, 1);  // only the closing FEND

    EXPECT_EQ(Feed(Cat({Frame(1025)})).dropped, 1);
}

TEST(FrameAssembler, StrayFendsBetweenManyFramesLoseNothing)
{
    Bytes stream;
    std::vector<Bytes> expected;
    for (int i = 0; i < 500; ++i) {
        Bytes f = {0xC0, 0x00, std::uint8_t(i & 0x7F), std::uint8_t(i >> 7), 0xC0};
        expected.push_back(f);
        stream.insert(stream.end(), f.begin(), f.end());
        for (int extra = 0; extra < i % 4; ++extra)
            stream.push_back(0xC0);  // up to three stray FENDs after a frame
    }
    EXPECT_EQ(Feed(stream).frames, expected);
}

}  // namespace
}  // namespace quillon
