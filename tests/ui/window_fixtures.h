// What the window tests share: a console shown on its own, and the main window on a station.
#pragma once

#include <QApplication>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "console_area.h"
#include "frames.h"
#include "log_window.h"
#include "main_window.h"
#include "station_folder.h"

namespace quillon::test {

struct Shown {
    explicit Shown(int width = 500, int height = 200) : area(document)
    {
        area.resize(width, height);
        area.show();
        area.activateWindow();
        (void)QTest::qWaitForWindowActive(&area);
    }
    std::shared_ptr<ConsoleDocument> document = std::make_shared<ConsoleDocument>();
    ConsoleDocument& doc = *document;
    ConsoleArea area;
};

// Reports, and then the moment the view shows them.
inline void AddLines(ConsoleDocument& document, ConsoleArea& area, const std::string& name, int count)
{
    for (int i = 0; i < count; ++i)
        document.AddText(name + " " + std::to_string(i) + "\r", colour::Black);
    area.CatchUp();
}

// A big copy's questions answered (an empty file name: cancelled); what was asked and told noted.
struct AnsweringDialogs : ExportDialogs {
    AnsweringDialogs(Choice c, QString f) : choice(c), file(std::move(f)) {}
    Choice AskWhatToSave(QWidget*, std::uint64_t selectedBytes, bool wholeToo) override
    {
        asked += std::to_string(selectedBytes) + (wholeToo ? " bytes, or the whole; " : " bytes; ");
        return choice;
    }
    QString AskFileName(QWidget*) override
    {
        asked += "file name; ";
        return file;
    }
    void Tell(QWidget*, const QString& message) override { *told += message.toStdString(); }

    Choice choice;
    QString file;
    std::string asked;
    std::shared_ptr<std::string> told = std::make_shared<std::string>();
};

struct Window : StationFolder {
    explicit Window(const std::string& ini = "", const std::string& initScript = "")
        : StationFolder(ini, initScript), station(MakeStation()), window(std::make_unique<MainWindow>(*station))
    {
        station->Start();
    }
    ~Window()
    {
        // Found first: a log window takes its heard list, a window too, with it.
        for (LogWindow* top : LogWindows())
            delete top;
    }
    static std::vector<LogWindow*> LogWindows()
    {
        std::vector<LogWindow*> found;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* w = qobject_cast<LogWindow*>(top))
                found.push_back(w);
        return found;
    }
    bool Send(const std::string& bytes) { return StationFolder::Send(*station, bytes); }
    template <class Widget = QLabel>
    Widget* Find(const char* name) const
    {
        return window->findChild<Widget*>(QString::fromLatin1(name));
    }
    std::string Label(const char* name) const { return Find(name)->text().toStdString(); }
    void Trigger(const char* action) const { Find<QAction>(action)->trigger(); }

    std::unique_ptr<Station> station;
    std::unique_ptr<MainWindow> window;
};

// A frame from the TNC: one UI frame to APRS.
inline const std::string kFrame = Kiss({{"APRS"}, {"N0CALL", 7}, {}, 3, 0xF0, "Hi\r"});

}  // namespace quillon::test
