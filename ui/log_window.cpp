#include "log_window.h"

#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QSize>
#include <QVBoxLayout>
#include <string_view>

#include "named.h"

namespace quillon {

namespace {

// Read a block at a time; a slice is as many blocks as fit in its time.
constexpr std::size_t kReadBlock = 256 * 1024;
// The progress bar counts in thousandths of the file.
constexpr int kProgressSteps = 1000;
constexpr int kProgressWidth = 200;
constexpr QSize kWindowSize{820, 600};

}  // namespace

LogWindow* LogWindow::Open(const QString& path, bool decode, const Clock& clock, QWidget* owner, bool aprs,
                           std::optional<GeoPoint> ownLocation)
{
    auto file = std::make_unique<QFile>(path);
    // A folder opens as a file on Linux and only fails to read.
    const bool folder = QFileInfo(path).isDir();
    if (folder || !file->open(QIODevice::ReadOnly)) {
        auto* box = new QMessageBox(
            QMessageBox::Warning, QStringLiteral("Open log"),
            QStringLiteral("Cannot open %1:\n%2")
                .arg(QDir::toNativeSeparators(path), folder ? QStringLiteral("Is a directory") : file->errorString()),
            QMessageBox::Ok, owner);
        box->setObjectName(QStringLiteral("openLogFailure"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();  // not modal to the application: the station goes on
        return nullptr;
    }
    auto* window = new LogWindow(std::move(file), decode, aprs, clock);
    window->Heard().SetOwnLocation(ownLocation);
    window->show();
    return window;
}

LogWindow::LogWindow(std::unique_ptr<QFile> file, bool decode, bool aprs, const Clock& clock)
    : QWidget(nullptr),
      file_(std::move(file)),
      path_(file_->fileName()),
      receiver_(clock, {.report = {.aprs = aprs}, .decode = decode, .buildReports = true, .readLogTimes = true}),
      buffer_(kReadBlock)
{
    setAttribute(Qt::WA_DeleteOnClose);
    const QFileInfo info(path_);
    setWindowTitle(info.fileName() + QStringLiteral(" (") + QDir::toNativeSeparators(info.absolutePath()) +
                   QStringLiteral(") - Quillon"));
    BuildWindow(decode);
    ShowProgress();

    reader_.setInterval(0);
    connect(&reader_, &QTimer::timeout, this, &LogWindow::ReadSlice);
    reader_.start();
}

LogWindow::~LogWindow()
{
    // The view first, and with it any save of its text: no message box may
    // come up while the window goes.
    delete console_;
    // The list's store too, before the history's Clear gives the memory back.
    delete list_;
    history_->Clear();
}

void LogWindow::BuildWindow(bool decode)
{
    auto* layout = new QVBoxLayout(this);
    console_ = new ConsoleArea(history_, this);
    list_ = Named(new PacketListPane(this), "packetList");
    // A chosen row is reported as the whole log is.
    list_->SetReporter([decode, aprs = receiver_.Options().report.aprs](const ReceiveState& frame, const Clock& clock) {
        return ReportFrame(frame, decode, {.aprs = aprs}, clock);
    });
    views_ = Named(new ReportViews(console_, list_, this), "reportViews");
    layout->addWidget(views_, 1);
    CreateViewMenu();

    auto* bottom = new QHBoxLayout;
    status_ = Named(new QLabel(this), "logStatus");
    bottom->addWidget(status_, 1);
    progress_ = Named(new QProgressBar(this), "logProgress");
    progress_->setRange(0, kProgressSteps);
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(kProgressWidth);
    bottom->addWidget(progress_);
    // The switch of the main window as it stood when the log was opened: the
    // whole log is reported one way.
    auto* decodeShown = Named(new QCheckBox(QStringLiteral("Decode KISS Frame"), this), "logDecode");
    decodeShown->setChecked(decode);
    decodeShown->setEnabled(false);
    decodeShown->setToolTip(QStringLiteral("as the main window's switch stood when the log was opened"));
    bottom->addWidget(decodeShown);
    heardList_ = Named(new QPushButton(QStringLiteral("Heard list"), this), "heardListButton");
    bottom->addWidget(heardList_);
    heardListWindow_ = Named(new HeardListWindow(this), "logHeardList");
    heardListWindow_->setWindowTitle(QStringLiteral("Heard list - ") + QFileInfo(path_).fileName());
    connect(heardList_, &QPushButton::clicked, heardListWindow_, &HeardListWindow::Present);
    layout->addLayout(bottom);
    resize(kWindowSize);
}

void LogWindow::CreateViewMenu()
{
    auto* bar = qobject_cast<QMenuBar*>(layout()->menuBar());
    if (bar == nullptr) {
        bar = new QMenuBar(this);
        layout()->setMenuBar(bar);
    }
    views_->AddViewMenu(bar);
}

void LogWindow::ReadSlice()
{
    // The console hears of the slice's reports once, at its end: scrolling
    // and painting after every report would cost more than the reports
    // themselves.
    const QDeadlineTimer slice(kSliceMilliseconds);
    qint64 count = 0;
    {
        const ConsoleDocument::Batch batch(*history_);
        do {
            count = file_->read(buffer_.data(), qint64(buffer_.size()));
            if (count > 0)
                receiver_.Feed(std::string_view(buffer_.data(), std::size_t(count)), *this);
        } while (count > 0 && !slice.hasExpired());
    }
    if (count < 0)
        Finish(file_->errorString());
    else if (count == 0)
        Finish(QString());
    else
        ShowProgress();
}

void LogWindow::Report(const FrameReport& report)
{
    ++frames_;
    history_->AddReport(report.console);
    list_->Add(report);
    heardListWindow_->Add(report);
    if (handOn_)
        handOn_(report);
}

void LogWindow::Finish(const QString& failure)
{
    reader_.stop();
    file_->close();
    done_ = true;
    progress_->hide();
    if (!failure.isEmpty())
        status_->setText(QStringLiteral("%1 frames, then the log could not be read: %2").arg(frames_).arg(failure));
    else if (frames_ == 0)
        status_->setText(QStringLiteral("No frames in this log"));
    else
        status_->setText(QStringLiteral("%1 frames").arg(frames_));
}

void LogWindow::ShowProgress()
{
    const qint64 size = file_->size();
    progress_->setValue(size > 0 ? int(file_->pos() * kProgressSteps / size) : 0);
    status_->setText(QStringLiteral("Reading: %1 frames so far").arg(frames_));
}

void LogWindow::closeEvent(QCloseEvent* event)
{
    // No more slices, whether or not the window is deleted at once.
    reader_.stop();
    file_->close();
    event->accept();
}

}  // namespace quillon
