// The heard list: rows from the reports the receive path builds of real frames.
#include <iomanip>
#include <sstream>

#include "app/heard_list.h"
#include "aprs/symbol_names.h"
#include "core_test.h"
#include "timesvc/timesvc.h"

namespace quillon::test { namespace {

FrameReport Heard(const Ax25Frame& frame, system_clock::time_point t) { return Report(Kiss(frame), true, {}, t); }
std::string Time(system_clock::time_point t) { return FormatTimestamp(t).substr(11); }

// "CALL frames first..last ROUTE | PAYLOAD", row by row.
std::vector<std::string> Rows(const HeardList& list)
{
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        const HeardStation& s = list.At(i);
        rows.push_back(s.call + " " + std::to_string(s.frames) + " " + Time(s.firstHeard) + ".." + Time(s.lastHeard) +
                       " " + s.route + " | " + s.payloadStart);
    }
    return rows;
}

TEST(HeardList, OneRowPerSourceWithItsLastFrame)
{
    const struct { Ax25Frame frame; system_clock::time_point t; } heard[] = {
        {{{"APRS"}, {"N0CALL", 7}, {{"WIDE1", 1, true}, {"WIDE2", 1}}, 0x03, 0xF0, "!4903.50N/07201.75W-"}, At(10h)},
        {{{"BEACON"}, {"DL1ABC"}, {}, 0x03, 0xF0, "a\tb\r\n\x7F\xE4"}, At(10h + 1s)},
        // The same station again: the count grows, the first time stays, the rest is the new frame's.
        {{{"ID"}, {"N0CALL", 7}, {{""}, {"RELAY", 0, true}}, 0x03, 0xF0, "Hi\r"}, At(11h + 500ms)},
        {{{"APRS"}, {"N0CALL"}, {}, 0x03, 0xF0, ""}, At(11h + 2s)},  // SSID 0 is another station
        {{{"N0CALL", 7}, {"DL1ABC"}, {{"RELAY", 1, true}, {"NODE"}}, 0x01, {}, ""}, At(12h)},  // RR, no payload
    };
    HeardList list;
    for (const auto& h : heard)
        EXPECT_EQ(list.Add(Heard(h.frame, h.t)), HeardVerdict::Counted) << h.frame.source.callsign;
    EXPECT_EQ(Rows(list), (std::vector<std::string>{
                              // an empty first digipeater hides the via list, as on the address line
                              "N0CALL-7 2 10:00:00.000..11:00:00.500 ID | Hi.",
                              "DL1ABC 2 10:00:01.000..12:00:00.000 N0CALL-7 via RELAY-1*,NODE | ",
                              "N0CALL 1 11:00:02.000..11:00:02.000 APRS | ",
                          }));
    EXPECT_EQ(std::pair(list.RowOf("N0CALL"), list.RowOf("N0CALL-1")), std::pair(std::optional<std::size_t>(2), std::optional<std::size_t>()));
}

// "TYPE SYMBOL | LATITUDE,LONGITUDE | DISTANCE BEARING | COURSE SPEED | COMMENT", "-" for what is not known.
std::string Aprs(const HeardStation& s)
{
    const auto fixed = [](double value, int decimals) {
        std::ostringstream text;
        text << std::fixed << std::setprecision(decimals) << value;
        return text.str();
    };
    return (s.aprsType ? std::string(AprsTypeName(*s.aprsType)) : "-") + (s.aprsMalformed ? " malformed " : " ") +
           AprsSymbolText(s.symbolTable, s.symbolCode) + " | " +
           (s.position ? fixed(s.position->latitude, 6) + "," + fixed(s.position->longitude, 6) : "-") + " | " +
           (s.distanceKm ? fixed(*s.distanceKm, 1) + " km " + std::to_string(*s.bearing) : "-") + " | " +
           (s.course ? std::to_string(*s.course) : "-") + " " + (s.speedKmh ? fixed(*s.speedKmh, 1) : "-") + " | " +
           s.comment;
}

// Each station's last word on each field (unsaid ones stay); the own location gives distance and bearing.
TEST(HeardList, WhatAStationsAprsFramesSaid)
{
    const struct { const char* source; const char* info; const char* location; std::string shown; } steps[] = {
        {"DL1ABC", "!4808.75N/01137.50E>088/036Going east", nullptr,  // no own location yet
         "position /> car | 48.145833,11.625000 | - | 88 66.7 | Going east"},
        {"DL1ABC", nullptr, "48.1375,11.5755",  // Munich: the known stations get theirs
         "position /> car | 48.145833,11.625000 | 3.8 km 76 | 88 66.7 | Going east"},
        {"DL1ABC", ">Lunch break", nullptr, "status /> car | 48.145833,11.625000 | 3.8 km 76 | 88 66.7 | Lunch break"},
        // A new position without course and speed: the old ones go; an empty comment leaves the last one.
        {"DL1ABC", "=4807.50N/01134.50E-", nullptr,
         "position /- house | 48.125000,11.575000 | 1.4 km 182 | - - | Lunch break"},
        {"DL1ABC", ";LEADER   *092345z4903.50N/07201.75W>Not me", nullptr,  // an object is someone else
         "object /- house | 48.125000,11.575000 | 1.4 km 182 | - - | Lunch break"},
        {"DL1ABC", "!4903.5xN/07201.75W-", nullptr,
         "position malformed /- house | 48.125000,11.575000 | 1.4 km 182 | - - | Lunch break"},
        {"DL1ABC", "}N0CALL>APRS,TCPIP,DL1ABC*:!4903.50N/07201.75W-Gated", nullptr,
         "third-party /- house | 48.125000,11.575000 | 1.4 km 182 | - - | Lunch break"},
        {"DL1ABC", nullptr, "", "third-party /- house | 48.125000,11.575000 | - | - - | Lunch break"},
        {"N0CALL", "Hello", nullptr, "unknown  | - | - | - - | "},
    };
    HeardList list;
    for (const auto& step : steps) {
        if (step.location)
            list.SetOwnLocation(ParseLocation(step.location));
        if (step.info)
            list.Add(Heard({{"APRS"}, {step.source}, {}, 0x03, 0xF0, step.info}, At(10h)));
        const std::optional<std::size_t> row = list.RowOf(step.source);
        ASSERT_TRUE(row) << step.source;
        EXPECT_EQ(Aprs(list.At(*row)), step.shown) << (step.info ? step.info : step.location);
    }
    // A frame that is no APRS (not UI, or another PID) says nothing of it.
    list.Add(Heard({{"DL1ABC"}, {"N0CALL"}, {}, 0x2F, {}, ""}, At(11h)));
    list.Add(Heard({{"APRS"}, {"N0CALL"}, {}, 0x03, 0xCF, "!4808.75N/01137.50E>"}, At(11h)));
    EXPECT_EQ(Aprs(list.At(*list.RowOf("N0CALL"))), "unknown  | - | - | - - | ");
}

// Frames not decoded, cut headers and sources that are no callsign count for nobody.
TEST(HeardList, CountsOnlyDecodedFramesFromACallsign)
{
    const Ax25Frame good{{"APRS"}, {"N0CALL", 15}, {}, 0x03, 0xF0, "x"};
    Ax25Frame lower = good, blank = good;
    lower.source = {"n0call"};
    blank.source = {"", 2};
    const struct { const char* situation; std::string kiss; bool decode; HeardVerdict verdict; } cases[] = {
        {"a UI frame", Kiss(good), true, HeardVerdict::Counted},
        {"decoding off", Kiss(good), false, HeardVerdict::NotDecoded},
        {"cut inside the source", Kiss(good).substr(0, 12) + "\xC0", true, HeardVerdict::ShortHeader},
        {"small letters", Kiss(lower), true, HeardVerdict::NoCallsign},
        {"a blank callsign", Kiss(blank), true, HeardVerdict::NoCallsign},
        {"a SABM without payload", Kiss({{"N0CALL"}, {"DL1ABC", 3}, {}, 0x2F, {}, ""}), true, HeardVerdict::Counted},
    };
    HeardList list;
    for (const auto& c : cases)
        EXPECT_EQ(list.Add(Report(c.kiss, c.decode, {}, At(10h))), c.verdict) << c.situation;
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"N0CALL-15 1 10:00:00.000..10:00:00.000 APRS | x",
                                                    "DL1ABC-3 1 10:00:00.000..10:00:00.000 N0CALL | "}));
}

// Full, a newcomer takes the longest-silent station's row; views learn what changed; Clear starts anew.
TEST(HeardList, BoundedByDroppingTheLeastRecentlyHeardAndClearable)
{
    HeardList list(3);
    const auto add = [&](const char* call, int minute) {
        list.Add(Heard(Ax25Frame{{"APRS"}, {call}, {}, 0x03, 0xF0, call}, At(10h + minutes(minute))));
    };
    const auto changes = [&] {  // reset, changed rows first..end, rows before, rows now
        const HeardList::Changes c = list.TakeChanges();
        return std::vector<std::size_t>{c.reset, c.changedFirst, c.changedEnd, c.rowsBefore, c.rowsNow};
    };
    EXPECT_FALSE(list.TakeChanges().Any());
    for (const char* call : {"AA1A", "BB1B", "CC1C"})
        add(call, 1);
    EXPECT_EQ(changes(), (std::vector<std::size_t>{0, 0, 0, 0, 3}));  // three new rows
    add("AA1A", 2);
    add("DD1D", 3);  // full: BB1B was heard least recently and goes, DD1D takes its row
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"AA1A 2 10:01:00.000..10:02:00.000 APRS | AA1A",
                                                    "DD1D 1 10:03:00.000..10:03:00.000 APRS | DD1D",
                                                    "CC1C 1 10:01:00.000..10:01:00.000 APRS | CC1C"}));
    EXPECT_EQ(changes(), (std::vector<std::size_t>{0, 0, 2, 3, 3}));  // rows 0 and 1 changed, none new
    add("BB1B", 4);  // back, as a newcomer: CC1C goes now
    add("DD1D", 5);
    EXPECT_EQ(changes(), (std::vector<std::size_t>{0, 1, 3, 3, 3}));
    add("EE1E", 6);  // AA1A, last heard at 10:02, goes
    EXPECT_EQ(std::tuple(list.At(0).call, list.At(1).frames, list.Size(), list.RowOf("BB1B")),
              std::tuple("EE1E", 2u, 3u, std::optional<std::size_t>(2)));

    list.Clear();
    EXPECT_EQ(std::pair(list.Size(), list.RowOf("EE1E")), std::pair(std::size_t(0), std::optional<std::size_t>()));
    add("EE1E", 7);
    EXPECT_EQ(Rows(list), std::vector<std::string>{"EE1E 1 10:07:00.000..10:07:00.000 APRS | EE1E"});
    EXPECT_EQ(changes(), (std::vector<std::size_t>{1, 0, 0, 0, 1}));  // anew
    EXPECT_FALSE(list.TakeChanges().Any());
}

}  // namespace
}  // namespace quillon::test
