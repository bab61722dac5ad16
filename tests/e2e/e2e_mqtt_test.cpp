// The real program publishing to a real mosquitto broker on loopback, mosquitto_sub listening.
#include <gtest/gtest.h>

#include "e2e_station.h"
#include "mqtt_broker.h"
#include "text/lines.h"

namespace quillon::test {
namespace {

#if QUILLON_MQTT
// Every frame's JSON line on TOPIC/frames, equal to the .jsonl line; the status retained "online", and
// "offline" both at a clean end (published) and when the program is killed (the will).
TEST(EndToEnd, MqttGetsEveryJsonLineTheRetainedStatusAndTheWill)
{
    MqttBroker broker;
    ASSERT_TRUE(broker.Start()) << broker.Output();
    Station s(kIni + "JSONFILE=YES\r\nAPRS=YES\r\nMQTT=127.0.0.1:" + std::to_string(broker.Port()) +
              "\r\nMQTT_TOPIC=quillon/Shack\r\n");
    const auto connected = [&] {
        return QTest::qWaitFor([&] { return s.Output().find(" connected\n") != std::string::npos; }, 60000);
    };
    ASSERT_TRUE(s.Start({"QUILLON_STATUS_TO_STDERR=1"}));
    ASSERT_TRUE(connected()) << s.Output();
    EXPECT_NE(s.Output().find("MQTT 127.0.0.1:" + std::to_string(broker.Port()) + " connected\n"), std::string::npos);
    // Subscribed only now: the status it gets is the retained one.
    MqttSubscriber sub(broker.Port(), "quillon/#");
    ASSERT_TRUE(sub.Got("quillon/Shack/status online\n")) << sub.Output();

    auto frames = ManyFrames(400, 31);
    frames.push_back(Kiss({{"APRS"}, {"N0CALL", 9}, {{"WIDE1", 1}}, 0x03, 0xF0, "!4903.50N/07201.75W-Hi \xE9"}));
    frames.push_back(Kiss({{"APZ"}, {"N0CALL"}, {}, 0x03, 0xF0, "}X1>APRS,TCPIP*:>status"}));
    ASSERT_TRUE(Play(s.folder.Com1(), Joined(frames), 31));
    ASSERT_TRUE(sub.Got("quillon/Shack/frames ", frames.size())) << Count(sub.Output(), "quillon/Shack/frames ");
    ASSERT_EQ(s.q->Stop(), 0) << s.Output();
    // The end of the run in order, not by the will: the counts said.
    EXPECT_NE(s.Output().find("MQTT 127.0.0.1:" + std::to_string(broker.Port()) + ": " + std::to_string(frames.size()) +
                              " frames published, 0 dropped\n"), std::string::npos) << s.Output();
    const std::string jsonl = s.folder.ReadLog(".jsonl");
    ASSERT_EQ(Lines(jsonl), frames.size());
    std::string published;
    const std::string got = sub.Output();
    for (const std::string_view line : SplitLines(got))
        if (line.starts_with("quillon/Shack/frames "))
            published += std::string(line.substr(21)) + "\n";
    EXPECT_EQ(published, jsonl);
    EXPECT_NE(jsonl.find("\"aprs\":{\"type\":\"position\""), std::string::npos);
    ASSERT_TRUE(sub.Got("quillon/Shack/status offline\n")) << sub.Output();
    // What a subscriber that comes later gets: the state retained, and no frame.
    const auto retained = [&](const std::string& state) {
        MqttSubscriber late(broker.Port(), "quillon/#");
        return late.Got("quillon/Shack/status " + state + "\n") && late.Output().find("/frames ") == std::string::npos;
    };
    EXPECT_TRUE(retained("offline"));

    // Killed: the broker publishes the will.
    ASSERT_TRUE(s.Start({"QUILLON_STATUS_TO_STDERR=1"}));
    ASSERT_TRUE(sub.Got("quillon/Shack/status online\n", 2)) << sub.Output();
    s.q->Signal(SIGKILL);
    s.q->WaitExit();
    EXPECT_TRUE(sub.Got("quillon/Shack/status offline\n", 2)) << sub.Output();
    EXPECT_TRUE(retained("offline"));
}
#endif

}  // namespace
}  // namespace quillon::test
