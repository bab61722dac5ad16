// The main window: its controls under their design names, the program-wide
// state, and the handlers that the event loop calls one at a time. Each
// handler runs to completion; the logic they call lives in the core.
//
// The handlers are spread over a few files of this folder by what they handle:
// start-up, shutdown, the receive path, mirroring, scripts, the status timer
// and the menus.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <string>
#include <string_view>

#include "app/app.h"
#include "app/receiver.h"
#include "timesvc/clock.h"
#include "lamp.h"
#include "log_file.h"
#include "log_indicator.h"
#include "serial_port.h"
#include "console_area.h"
#include "text_areas.h"
#include "kiss/kiss.h"
#include "timesvc/timesvc.h"

namespace quillon {

class SystemClockSetter;
class TimeServerQuery;

// What the window needs from its surroundings; tests substitute the clock
// and the clock setter, and choose the program folder and time-server port.
struct Environment {
    QString programDir;
    const Clock* clock = &RealClock();
    SystemClockSetter* clockSetter = nullptr;  // nullptr: the system clock
    quint16 timeServerPort = 37;
    // Also write every status line to standard error, for a run without a
    // screen (a service, a test of the real program).
    bool echoStatus = false;
};

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(Environment environment, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up, run once before the window is shown.
    void Form_Load();
    // The orderly end of the run, once, however the window is closed.
    void Form_Unload();

    void MSComm1_OnComm();
    void MSComm2_OnComm();
    // A port whose device went away, and its return (the ports reopen
    // themselves while they are to be open).
    void MSComm_Lost(MSComm& port, const QString& reason);
    void MSComm_Reopened(MSComm& port);
    void Timer1_Timer();
    void MnuMirror_Click();
    void MnuClear_Click();
    void MnuStatistics_Click();
    void MnuAbout_Click();
    void Command4_Click();
    void Command1_Click();

    void RunTncInitScript();
    void RunTncExitScript();

    // The status box: one line, ended with CR LF.
    void AppendStatus(std::string_view line);

    // Program-wide state, owned here and read by name by the handlers.
    ConfigurationRecord Configuration;
    Receiver ReceivePipeline;
    // Bytes handed on to the mirror port.
    std::int32_t BytesSent = 0;
    StatusTimerState StatusTimer;
    LogFile RawLog;
    LogFile DumpLog;
    LogFile HexLog;

    MSComm MSComm1;
    MSComm MSComm2;
    QTimer Timer1;

    // Controls.
    ConsoleArea* RichTextBox1 = nullptr;
    StatusBox* Text1 = nullptr;
    // The logs that cannot be written, in red; hidden while every log writes.
    LogIndicator* LogFailures = nullptr;
    QGroupBox* Frame5 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QCheckBox* DecodeKissFrame = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Image1 = nullptr;
    LampWidget* Image2 = nullptr;
    LampWidget* Image3 = nullptr;
    LampWidget* Image4 = nullptr;
    LampWidget* Image5 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command1 = nullptr;
    QAction* MnuExit = nullptr;
    QAction* MnuClear = nullptr;
    QAction* MnuMirror = nullptr;
    QAction* MnuStatistics = nullptr;
    QAction* MnuAbout = nullptr;

    const Environment& Env() const { return env_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildWindow();
    void BuildMenus();
    void SetUpPort(MSComm& port, const std::string& portField, const std::string& settingsField,
                   const std::string& handshakingField, QLabel* label, const char* leadingText);
    void ApplyMirrorSwitch();
    void ShowMirrorIndicators(bool visible);
    void ShowLamps();
    void OpenLogs();
    void ReportSerialEvent(int code);

    Environment env_;
    std::unique_ptr<SystemClockSetter> ownClockSetter_;
    std::unique_ptr<TimeServerQuery> timeServer_;
    bool unloaded_ = false;
    QPointer<QWidget> statistics_;
    QPointer<QWidget> about_;
};

}  // namespace quillon
