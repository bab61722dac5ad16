// The watch list: which calls its patterns take, and who is due a notice when.
#include "app/watch_list.h"
#include "core_test.h"
#include "timesvc/timesvc.h"

namespace quillon::test { namespace {

TEST(WatchList, PatternsFromTheFileMatchCalls)
{
    const WatchList list("# my friends\r\nn0call-?  \n\n  DL1*  # a club\r\n*-15\nK?ABC\n");
    EXPECT_EQ(list.Patterns(), (std::vector<std::string>{"N0CALL-?", "DL1*", "*-15", "K?ABC"}));
    const struct { const char* call; bool watched; } cases[] = {
        {"N0CALL-7", true}, {"N0CALL", false}, {"DL1ABC-3", true}, {"DL2ABC", false}, {"XX1Y-15", true},
        {"K1ABC", true}, {"K1ABCD", false}};
    for (const auto& c : cases)
        EXPECT_EQ(list.Matches(c.call), c.watched) << c.call;
    EXPECT_FALSE(WatchList("# nobody\n").Matches(""));
}

TEST(WatchList, OnlyTheSourceOfAWholeDecodedHeaderIsWatched)
{
    const WatchList list("N0CALL*");
    const auto source = [&](std::string frame, bool decode = true) {
        const FrameReport report = Report(frame, decode);
        const auto call = WatchedSource(list, report);
        return call ? std::string(*call) : "-";
    };
    EXPECT_EQ(source(Kiss({{"APRS"}, {"N0CALL", 7}, {}, 0x03, 0xF0, "x"})), "N0CALL-7");
    EXPECT_EQ(source(Kiss({{"N0CALL"}, {"DL1ABC"}, {}, 0x03, 0xF0, "x"})), "-");  // the destination is no source
    EXPECT_EQ(source(Kiss({{"APRS"}, {"N0CALL", 7}, {}, 0x03, 0xF0, "x"}), false), "-");  // raw: nobody (the rest: HeardList)
}

TEST(WatchList, NoticeWhenFirstHeardOrBackAfterHalfAnHour)
{
    const struct { const char* call; system_clock::time_point t; const char* line; } heard[] = {
        {"N0CALL-7", At(10h), "watch: N0CALL-7 heard, first time this run"},
        {"N0CALL-7", At(10h + 30min), ""},              // exactly half an hour: not yet silent
        {"DL1ABC", At(10h + 31min), "watch: DL1ABC heard, first time this run"},
        {"N0CALL-7", At(10h + 59min), ""},               // the silence counts from the last frame
        {"N0CALL-7", At(11h + 30min + 2s), "watch: N0CALL-7 heard again after 31 min"},
        {"N0CALL-7", At(13h + 35min + 2s), "watch: N0CALL-7 heard again after 2 h 05 min"},
        {"N0CALL-7", At(9h), ""},                       // the clock set back
        {"N0CALL-7", At(9h + 20min), ""},
    };
    WatchNotices notices;
    for (const auto& h : heard) {
        const auto notice = notices.Heard(h.call, h.t);
        EXPECT_EQ(notice ? WatchNoticeLine(*notice) : "", h.line) << h.call << " " << FormatTimestamp(h.t);
    }
}

} }  // namespace quillon::test
