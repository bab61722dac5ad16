// A real mosquitto broker on a free loopback port, its configuration in a folder of its own, and
// mosquitto_sub as a subscriber; each ends with its object. Waits in the caller's event loop.
#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>

#include <string>

#include "loopback_server.h"
#include "program.h"

namespace quillon::test {

class MqttBroker {
public:
    // Anonymous clients welcome, or with `user` and `password` the only ones.
    explicit MqttBroker(const std::string& user = {}, const std::string& password = {}) : port_(FreeLoopbackPort())
    {
        std::string config = "listener " + std::to_string(port_) + " 127.0.0.1\n";
        if (::geteuid() == 0)
            config += "user root\n";  // else it changes to a user who cannot read this folder
        if (user.empty()) {
            config += "allow_anonymous true\n";
        } else {
            const std::string file = dir_.filePath("passwords").toStdString();
            RunProgram("mosquitto_passwd", {"-c", "-b", QString::fromStdString(file), QString::fromStdString(user),
                                            QString::fromStdString(password)});
            config += "allow_anonymous false\npassword_file " + file + "\n";
        }
        WriteFile(dir_.filePath("mosquitto.conf").toStdString(), config);
    }
    ~MqttBroker() { Stop(); }

    quint16 Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // Until it says it runs; false when it ended first or did not within the limit.
    bool Start()
    {
        const std::size_t before = Count(Log(), " running\n");
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start("mosquitto", {"-c", dir_.filePath("mosquitto.conf")});
        process_.waitForStarted(30000);
        return QTest::qWaitFor([&] { return !Running() || Count(Log(), " running\n") > before; }, 30000) && Running();
    }
    void Stop()
    {
        process_.terminate();
        if (!process_.waitForFinished(10000))
            process_.kill(), process_.waitForFinished();
    }
    bool Running() const { return process_.state() == QProcess::Running; }
    qint64 Pid() const { return process_.processId(); }
    std::string Log() { return process_.isOpen() ? log_ += process_.readAll().toStdString() : log_; }
    std::string Output() { return Log() + "(mosquitto: " + process_.errorString().toStdString() + ")"; }

private:
    QTemporaryDir dir_;
    quint16 port_;
    QProcess process_;
    std::string log_;
};

// mosquitto_sub on `topic`, each message a line "TOPIC PAYLOAD".
class MqttSubscriber {
public:
    MqttSubscriber(quint16 port, const QString& topic)
    {
        process_.start("mosquitto_sub", {"-h", "127.0.0.1", "-p", QString::number(port), "-t", topic, "-v"});
    }
    ~MqttSubscriber()
    {
        process_.kill();
        process_.waitForFinished();
    }
    std::string Output() { return received_ += process_.readAllStandardOutput().toStdString(); }
    // Until `part` stands in the output `times` times.
    bool Got(const std::string& part, std::size_t times = 1)
    {
        return QTest::qWaitFor([&] { return Count(Output(), part) >= times; }, 60000);
    }

private:
    QProcess process_;
    std::string received_;
};

}  // namespace quillon::test
