// The packet list's store and filter over real frames, as the encoder makes them.
#include "core_test.h"
#include "decoder/decode.h"
#include "packets/callsign_pattern.h"
#include "packets/packet_filter.h"
#include "packets/packet_store.h"

namespace quillon::test { namespace {

TEST(CallsignPattern, WildcardsAndCase)
{
    const struct { const char* pattern; const char* call; bool match; } cases[] = {
        {"N0CALL*", "N0CALL-9", true}, {"N0CALL*", "N0CALL", true},  {"n0call-9", "N0CALL-9", true},
        {"N0CALL", "N0CALL-9", false}, {"N0CALL-9", "N0CALL", false}, {"WIDE?-?", "WIDE2-1", true},
        {"WIDE?-?", "WIDE2", false},   {"*-9", "N0CALL-9", true},     {"*-9", "N0CALL-19", false},
        {"A*B*C", "AXBXXC", true},     {"A*B", "AXBXC", false},       {"*", "", true},
        {"", "A", false},              {"*CALL-1?", "N0CALL-10", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesCallsignPattern(c.pattern, c.call), c.match) << c.pattern << " " << c.call;
}

// A parsed filter as "KEY:VALUE" per term, "-" in front of an excluding one; or the error.
std::string Parsed(std::string_view text)
{
    const FilterParse parse = ParsePacketFilter(text);
    if (!parse.filter)
        return "error " + parse.error;
    static const char* const kKeys[] = {"word", "from", "to", "via", "port", "type", "aprs"};
    std::string out;
    for (const FilterTerm& t : parse.filter->terms)
        out += std::string(t.exclude ? "-" : "") + kKeys[int(t.key)] + ":" +
               (t.value.empty() ? std::to_string(t.number) : t.value) + " ";
    return out;
}

TEST(PacketFilter, ParsesTermsAndNamesTheBadOne)
{
    const struct { const char* text; const char* parsed; } cases[] = {
        {"", ""},
        {"  from:n0call*\tTo:APRS -via:WIDE2* ", "from:N0CALL* to:APRS -via:WIDE2* "},
        {"port:15 -port:0 type:ui aprs:Message aprs:* aprs:third-party", "port:15 -port:0 type:UI aprs:3 aprs:-1 aprs:13 "},
        {"Hello -World \"two Words\" -\"a:b\" - x-y", "word:hello -word:world word:two words -word:a:b word:- word:x-y "},
        {"foo:x", "error unknown key \"foo\" in foo:x"},
        {"12:30", "error unknown key \"12\" in 12:30"},
        {"port:16", "error port takes 0 to 15: port:16"},
        {"port:1x", "error port takes 0 to 15: port:1x"},
        {"type:XX", "error unknown frame type: type:XX"},
        {"aprs:mesage", "error unknown APRS type: aprs:mesage"},
        {"from:", "error nothing after the colon: from:"},
        {"x \"two words", "error unclosed quote: \"two words"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parsed(c.text), c.parsed) << c.text;
}

// A store of a few frames of every kind the filter tells apart.
struct FilledStore : PacketStore {
    FilledStore()
    {
        const std::string frames[] = {
            /*0*/ Kiss({{"APRS"}, {"N0CALL", 9}, {{"WIDE1", 1, true}, {"WIDE2", 1}}, 0x03, 0xF0, "!4903.50N/07201.75W-Hi"}),
            /*1*/ Kiss({{"APRS"}, {"N0CALL"}, {}, 0x03, 0xF0, ":BLN1     :Net tonight"}),
            /*2*/ Kiss({{"ID"}, {"DB0ABC", 10}, {{"RELAY", 0, true}}, 0x03, 0xF0, "DB0ABC digi"}, 0x10),
            /*3*/ Kiss({{"NOCALL", 1}, {"N0CALL", 2}, {}, 0x00, 0xF0, "An I frame: Good Evening"}),
            /*4*/ Kiss({{"NOCALL", 1}, {"N0CALL", 2}, {}, 0x3F, std::nullopt, ""}),
            /*5*/ Kiss({{"BEACON"}, {"TEST"}, {{"WIDE2", 2}}, 0x03, 0xF0, "FEND \xC0 inside, evening"}),
        };
        for (std::size_t i = 0; i < std::size(frames); ++i)
            Append(Received(frames[i]), kExampleTime + seconds(i));
    }
};

std::string Selected(const PacketStore& store, std::string_view text)
{
    std::string rows;
    for (const std::uint32_t row : store.Select(*ParsePacketFilter(text).filter))
        rows += std::to_string(row);
    return rows;
}

TEST(PacketStore, FilterSelectsRows)
{
    const FilledStore store;
    const struct { const char* filter; const char* rows; } cases[] = {
        {"", "012345"},
        {"from:N0CALL*", "0134"},
        {"from:N0CALL", "1"},  // no SSID
        {"-from:N0CALL*", "25"},
        {"to:aprs", "01"},
        {"via:WIDE1*", "0"},        // WIDE1-1 has repeated the frame: its "*" is no part of the call
        {"via:WIDE2-?", "05"},
        {"port:1", "2"},
        {"type:UI", "0125"},
        {"type:I -type:SABM", "3"},
        {"type:SABM", "4"},
        {"aprs:position", "0"},
        {"aprs:*", "0125"},
        {"evening", "35"},          // either case, in the text; behind an escaped FEND too
        {"\"good evening\"", "3"},
        {"\"\xC0 inside\"", "5"},  // the escaped FEND as the text shows it (\xC0 folds to \xE0)
        {"db0abc", "2"},            // a word in a call
        {"wide2", "05"},            // and in a via list
        {"from:N0CALL* evening", "3"},
        {"from:N0CALL* -evening -type:SABM", "01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Selected(store, c.filter), c.rows) << c.filter;
    EXPECT_EQ(Selected(store, "evening").size(), store.Select({}, 3, 5).size()) << "a range";
}

TEST(PacketStore, SortsByColumnKeepingArrivalOrderOnTies)
{
    const FilledStore store;
    const auto sorted = [&](PacketColumn column, bool descending) {
        std::vector<std::uint32_t> rows = store.Select({});
        store.Sort(rows, column, descending);
        std::string out;
        for (const std::uint32_t row : rows)
            out += std::to_string(row);
        return out;
    };
    EXPECT_EQ(sorted(PacketColumn::From, false), "213405");
    EXPECT_EQ(sorted(PacketColumn::From, true), "503412");
    EXPECT_EQ(sorted(PacketColumn::Time, true), "543210");
    EXPECT_EQ(sorted(PacketColumn::Type, false), "340125");
    EXPECT_EQ(sorted(PacketColumn::Pid, false), "401235");
    EXPECT_EQ(sorted(PacketColumn::Text, false), "401325");
}

// Frames of a noisy channel: every one from a "station" never heard before.
std::vector<std::string> NoiseFrames(std::size_t count)
{
    std::vector<std::string> frames;
    for (std::size_t i = 0; i < count; ++i) {
        std::string call = "Q";
        for (std::size_t n = i; n > 0; n /= 26)
            call.push_back(char('A' + n % 26));
        frames.push_back(Kiss({{"APRS"}, {call}, {{call, 1}}, 0x03, 0xF0, ">" + std::to_string(i)}));
    }
    return frames;
}

TEST(PacketStore, KeepsItsBudgetByDroppingTheOldestAndReadsPackedChunksBack)
{
    // Budgets for about half the rows: packed chunks and the open one.
    const struct { std::vector<std::string> frames; std::size_t budget; } runs[] = {
        {ManyFrames(4000, 7), 300 * 1024}, {NoiseFrames(40000), 1536 * 1024}};
    for (const auto& [frames, budget] : runs) {
        PacketStore store(budget);
        EXPECT_TRUE(store.TakeChanges().reset);
        std::size_t taken = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            store.Append(Received(frames[i]), kExampleTime + milliseconds(i));
            ASSERT_LE(store.HeldBytes(), budget) << i;
            if (i == 1000 || i + 1 == frames.size()) {
                const PacketStore::Changes changes = store.TakeChanges();
                EXPECT_FALSE(changes.reset);
                EXPECT_EQ(changes.rowsBefore, taken - changes.droppedFront);
                EXPECT_EQ(changes.rowsNow, store.Size());
                taken = store.Size();
            }
        }
        ASSERT_GT(store.Dropped(), 0u);
        EXPECT_GT(store.Size(), 1500u);
        EXPECT_EQ(store.Dropped() + store.Size(), frames.size());
        // Every row held, from packed chunks and the open one, is its own frame.
        for (std::size_t row = 0; row < store.Size(); row += 97) {
            const std::size_t i = store.Dropped() + row;
            EXPECT_EQ(Text(store.Frame(row).Bytes()), frames[i]) << i;
            EXPECT_EQ(store.Time(row), kExampleTime + milliseconds(i));
            EXPECT_EQ(store.Cell(row, PacketColumn::From), DecodeAx25Frame(Received(frames[i])).SourceCall);
        }
        store.Clear();
        EXPECT_EQ(store.Size(), 0u);
        EXPECT_TRUE(store.TakeChanges().reset);
    }
}

}  // namespace
}  // namespace quillon::test
