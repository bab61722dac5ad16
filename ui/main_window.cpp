#include "main_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QMenuBar>
#include <QVBoxLayout>
#include <algorithm>

#include "about_window.h"
#include "app/app.h"
#include "named.h"
#include "statistics_window.h"
#include "unix_signals.h"
#include "watch_dialog.h"

namespace quillon {

namespace {

constexpr QSize kWindowSize(820, 640);
constexpr int kLogoSize = 40;
// The clock is shown larger than the text around it.
constexpr qreal kClockScale = 1.6;
// The console's share of the height beside the status box's.
constexpr int kConsoleStretch = 4;
constexpr int kStatusStretch = 1;
// The status box's lines: at least two, at most five, plus its frame.
constexpr int kStatusLinesLeast = 2;
constexpr int kStatusLinesMost = 5;
constexpr int kStatusFrame = 12;
// Margins and spacing of the window's boxes: narrow, so that a small window
// leaves its height to the console.
constexpr int kTightMargin = 4;
constexpr QMargins kTightMargins(kTightMargin, kTightMargin, kTightMargin, kTightMargin);

QFont NarrowFont()
{
    // The buttons are labelled in a narrow sans-serif face where one is
    // installed; otherwise the same face condensed.
    QFont font;
    for (const char* family : {"Liberation Sans Narrow", "Arial Narrow"}) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
            font.setFamily(QString::fromLatin1(family));
            return font;
        }
    }
    font.setStretch(QFont::Condensed);
    return font;
}

// Shows the window held in `slot` without making it modal. A window that is
// not there (never opened, or closed by its close box and on its way out) is
// made first, which fills it; an open one is only brought to the front, its
// content as it was.
template <class Window, class... Args>
void ShowWindow(QPointer<QWidget>& slot, const Args&... args)
{
    QWidget* window = slot.data();
    if (window == nullptr || !window->isVisible()) {
        window = new Window(args...);
        slot = window;
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

MainWindow::MainWindow(Station& station, QWidget* parent) : QMainWindow(parent), station_(station)
{
    setWindowTitle(QStringLiteral("Quillon v. ") + FromCodePage(kVersionText));
    BuildWindow();
    BuildMenus();
    CreateEditMenu();
    CreateViewMenu();
    heardList_ = Named(new HeardListWindow(this), "heardList");
    latest_.setSingleShot(true);
    latest_.setInterval(ConsoleArea::kPaintInterval);
    connect(&latest_, &QTimer::timeout, this, &MainWindow::ShowLatest);
    station_.AddView(*this);
    station_.AddView(*heardList_);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildWindow()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(kTightMargins);
    layout->setSpacing(kTightMargin);

    // Top row: decoding switch, the two links, lamps and the UTC clock.
    auto* top = new QHBoxLayout;
    auto* modeBox = new QGroupBox(QStringLiteral("Mode"), central);
    auto* modeLayout = new QVBoxLayout(modeBox);
    modeLayout->setContentsMargins(kTightMargins);
    modeBox->setFlat(true);
    decodeSwitch_ = Named(new QCheckBox(QStringLiteral("Decode KISS Frame"), modeBox), "decodeSwitch");
    decodeSwitch_->setToolTip(QStringLiteral("decode the kiss frame"));
    decodeSwitch_->setChecked(true);
    connect(decodeSwitch_, &QCheckBox::toggled, this, [this](bool on) { station_.SetDecoding(on); });
    modeLayout->addWidget(decodeSwitch_);
    top->addWidget(modeBox);

    auto* links = new QGridLayout;
    inputLamp_ = Named(new IndicatorLamp(central), "inputLamp");
    mirrorLamp_ = Named(new IndicatorLamp(central), "mirrorLamp");
    inputLabel_ = Named(new ElidingLabel(QStringLiteral("IN"), central), "inputLabel");
    mirrorLabel_ = Named(new ElidingLabel(QStringLiteral("OUT"), central), "mirrorLabel");
    mirrorInEffect_ = Named(new ElidingLabel(central), "mirrorInEffect");
    links->addWidget(inputLamp_, 0, 0);
    links->addWidget(inputLabel_, 0, 1);
    links->addWidget(mirrorLamp_, 1, 0);
    links->addWidget(mirrorLabel_, 1, 1);
    links->addWidget(mirrorInEffect_, 1, 2);
    links->setColumnStretch(2, 1);
    top->addLayout(links, 1);

    clock_ = Named(new QLabel(QStringLiteral("sync..."), central), "clock");
    QFont clockFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    clockFont.setPointSizeF(clockFont.pointSizeF() * kClockScale);
    clockFont.setBold(true);
    clock_->setFont(clockFont);
    // Room for the clock from the start, so that nothing moves at the first tick.
    clock_->setMinimumWidth(std::max(clock_->fontMetrics().horizontalAdvance(QStringLiteral("sync...")),
                                     clock_->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00"))));
    top->addWidget(clock_);
    auto* logo = new QLabel(central);
    logo->setPixmap(QIcon(QStringLiteral(":/quillon.png")).pixmap(kLogoSize, kLogoSize));
    top->addWidget(logo);
    layout->addLayout(top);

    // The console takes the space (its share: below).
    frameBox_ = Named(new QGroupBox(QStringLiteral("KISS Frames"), central), "frameBox");
    auto* frameLayout = new QVBoxLayout(frameBox_);
    frameLayout->setContentsMargins(kTightMargins);
    console_ = new ConsoleArea(history_, frameBox_);
    frameLayout->addWidget(CreateReportViews(frameBox_));
    layout->addWidget(frameBox_, kConsoleStretch);
    logFailures_ = new LogIndicator(central);
    layout->addWidget(logFailures_);

    // Bottom row: status box, TNC buttons and the counters.
    auto* bottom = new QHBoxLayout;
    statusBox_ = new StatusBox(central);
    // Its own height counts for nothing: the box has two lines, and a share
    // of the room left over up to five (a fifth of it, beside the console's
    // four fifths), so a small window keeps its height for the console.
    const int lineSpacing = statusBox_->fontMetrics().lineSpacing();
    statusBox_->setMinimumHeight(lineSpacing * kStatusLinesLeast + kStatusFrame);
    statusBox_->setMaximumHeight(lineSpacing * kStatusLinesMost + kStatusFrame);
    statusBox_->setSizePolicy(statusBox_->sizePolicy().horizontalPolicy(), QSizePolicy::Ignored);
    bottom->addWidget(statusBox_, 1);
    auto* buttons = new QVBoxLayout;
    auto* initButton = Named(new QPushButton(QStringLiteral("TNC Init"), central), "initButton");
    auto* commandModeButton =
        Named(new QPushButton(QStringLiteral("Set TNC in CMD Mode"), central), "commandModeButton");
    for (QPushButton* button : {initButton, commandModeButton}) {
        button->setFont(NarrowFont());
        buttons->addWidget(button);
    }
    connect(initButton, &QPushButton::clicked, this, [this] { station_.RunInitScript(); });
    connect(commandModeButton, &QPushButton::clicked, this, [this] { station_.RunExitScript(); });
    bottom->addLayout(buttons);
    auto* counters = new QVBoxLayout;
    receivedCounter_ = Named(new ElidingLabel(central), "receivedCounter");
    sentCounter_ = Named(new ElidingLabel(central), "sentCounter");
    // The counters are empty until the first bytes come; their column asks
    // for the room of a long run from the start (ten-digit bytes, eight-digit
    // frames), so that the status box and the buttons do not move when they
    // fill; a narrow window cuts them short.
    receivedCounter_->RoomFor(QStringLiteral("9999999999 Bytes received (99999999 Frames)"));
    counters->addWidget(receivedCounter_);
    counters->addWidget(sentCounter_);
    counters->addStretch();
    bottom->addLayout(counters);
    layout->addLayout(bottom, kStatusStretch);

    setCentralWidget(central);
    resize(kWindowSize);
}

void MainWindow::BuildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    Named(file->addAction(QStringLiteral("&Open log\u2026"), this, &MainWindow::OpenLog), "openLogAction")
        ->setShortcut(QKeySequence::Open);
    file->addSeparator();
    Named(file->addAction(QStringLiteral("&Exit"), this, [this] { close(); }), "exitAction")
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    Named(options->addAction(QStringLiteral("Clear Counter"), this, &MainWindow::ClearCounters), "clearAction");
    mirrorAction_ =
        Named(options->addAction(QStringLiteral("mirror incoming data from COM A to COM B")), "mirrorAction");
    mirrorAction_->setCheckable(true);
    connect(mirrorAction_, &QAction::triggered, this, [this](bool on) { station_.SetMirroring(on); });
    AddWatchListAction(*options);

    QMenu* info = menuBar()->addMenu(QStringLiteral("&Info"));
    Named(info->addAction(QStringLiteral("&Statistics"), this, &MainWindow::ShowStatistics), "statisticsAction");
    Named(info->addAction(QStringLiteral("&Heard list"), this, &MainWindow::ShowHeardList), "heardListAction");
    Named(info->addAction(QStringLiteral("&About"), this, &MainWindow::ShowAbout), "aboutAction");
}

QWidget* MainWindow::CreateReportViews(QWidget* parent)
{
    list_ = Named(new PacketListPane(parent), "packetList");
    // A chosen row is reported as a frame would be now: decoded or raw as the
    // switch stands.
    list_->SetReporter([this](const ReceiveState& frame, const Clock& clock) {
        return ReportFrame(frame, decodeSwitch_->isChecked(), {.aprs = station_.Config().aprs}, clock);
    });
    list_->Model().SetWatched([this](std::string_view call) { return station_.Watching().Matches(call); });
    views_ = Named(new ReportViews(console_, list_, parent), "reportViews");
    return views_;
}

// "View", between the File and the Options menus.
void MainWindow::CreateViewMenu()
{
    QAction* before = nullptr;
    for (QAction* menu : menuBar()->actions())
        if (menu->text() == QStringLiteral("&Options"))
            before = menu;
    views_->AddViewMenu(menuBar(), before);
}

// The console's own actions, keys and all: one action for the menu and the
// key, so that no key is claimed twice.
void MainWindow::CreateEditMenu()
{
    QMenu* edit = new QMenu(QStringLiteral("&Edit"), this);
    menuBar()->insertMenu(menuBar()->actions().value(1), edit);
    edit->addActions(console_->EditActions());
    edit->insertSeparator(console_->EditActions().value(2));
}

void MainWindow::AddWatchListAction(QMenu& menu)
{
    Named(menu.addAction(QStringLiteral("&Watch list\u2026"), this, &MainWindow::EditWatchList), "watchListAction");
}

void MainWindow::EditWatchList()
{
    if (!watchDialog_) {
        auto* dialog = Named(new WatchDialog(station_, this), "watchDialog");
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        watchDialog_ = dialog;
    }
    watchDialog_->show();
    watchDialog_->raise();
    watchDialog_->activateWindow();
}

void MainWindow::ClearCounters()
{
    list_->Clear();  // first: the history's Clear gives the freed memory back
    history_->Clear();
    heardList_->Clear();
    station_.ClearCounters();
    counts_.reset();
    receivedCounter_->setText(QString());
    sentCounter_->setText(QString());
}

void MainWindow::ShowStatistics()
{
    ShowWindow<StatisticsWindow>(statistics_, station_.Counts(), station_.SharingCounts());
}

void MainWindow::ShowHeardList() { heardList_->Present(); }

void MainWindow::ShowAbout() { ShowWindow<AboutWindow>(about_); }

// The dialog is not modal to the application, so that the station's events
// are taken up while the user chooses.
void MainWindow::OpenLog()
{
    auto* dialog = new QFileDialog(this, QStringLiteral("Open log"), station_.Environment().programDir,
                                   QStringLiteral("Raw KISS logs (*.kss)"));
    dialog->setObjectName(QStringLiteral("openLogDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) { OpenLogFile(path); });
    dialog->open();
}

LogWindow* MainWindow::OpenLogFile(const QString& path)
{
    return LogWindow::Open(path, decodeSwitch_->isChecked(), *station_.Environment().clock, this,
                           station_.Config().aprs, station_.OwnLocation());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A second request to end the program, waiting to be taken up, cuts the
    // wait for the exit script short.
    station_.Stop([] { return UnixSignals::Pending(); });
    event->accept();
}

void MainWindow::ShowReport(const FrameReport& report)
{
    if (caption_ != report.frameCaption) {
        caption_ = report.frameCaption;
        if (!latest_.isActive())
            latest_.start();
    }
    history_->AddReport(report.console);
    list_->Add(report);
    // Once a run: a console without its temporary file keeps growing in
    // memory, and the user should know why.
    if (const int error = history_->Text().FileError(); error != 0 && !consoleFileSaid_) {
        consoleFileSaid_ = true;
        ShowStatusLine(ConsoleFileLine(error));
    }
}

void MainWindow::ShowLatest()
{
    // The box keeps its first caption until a frame has come.
    const QString caption = FromCodePage(caption_);
    if (!caption_.empty() && frameBox_->title() != caption)
        frameBox_->setTitle(caption);
    if (counts_) {
        receivedCounter_->setText(FromCodePage(std::to_string(counts_->BytesReceived) + " Bytes received (" +
                                               std::to_string(counts_->FrameCount) + " Frames)"));
        counts_.reset();
    }
}

void MainWindow::ShowStatusLine(std::string_view line) { statusBox_->AppendLine(line); }

void MainWindow::ClearStatus() { statusBox_->Clear(); }

void MainWindow::ShowReceiveCounts(const Counters& counts)
{
    counts_ = counts;
    if (!latest_.isActive())
        latest_.start();
}

void MainWindow::ShowBytesSent(std::int32_t bytes)
{
    sentCounter_->setText(QString::number(bytes) + QStringLiteral(" Bytes sent"));
}

void MainWindow::ShowLamps(PortLamps lamps)
{
    inputLamp_->Show(lamps.input);
    mirrorLamp_->Show(lamps.mirror);
}

void MainWindow::ShowClock(std::string_view clock) { clock_->setText(FromCodePage(clock)); }

void MainWindow::ShowLogFailures(const std::vector<std::string>& lines) { logFailures_->SetLines(lines); }

// The mirror link's labels and counter; its lamp follows the link's state.
void MainWindow::ShowMirroring(bool on)
{
    mirrorAction_->setChecked(on);
    for (QWidget* w : {static_cast<QWidget*>(mirrorInEffect_), static_cast<QWidget*>(mirrorLabel_),
                       static_cast<QWidget*>(sentCounter_)})
        w->setVisible(on);
}

void MainWindow::ShowWatchNotice(const WatchNotice& notice, const FrameReport& report)
{
    std::string body = WatchNoticeLine(notice);
    if (report.decoded)
        body += "\n" + report.decoded->AddressText;
    if (!report.aprsLine.empty())
        body += "\n" + report.aprsLine;
    notifier_->Notify(FromCodePage(notice.call) + QStringLiteral(" heard"), FromCodePage(body));
}

void MainWindow::ShowLinks(std::string_view input, std::string_view mirror, std::string_view mirrorInEffect)
{
    inputLabel_->setText(FromCodePage(input));
    mirrorLabel_->setText(FromCodePage(mirror));
    mirrorInEffect_->setText(FromCodePage(mirrorInEffect));
}

}  // namespace quillon
