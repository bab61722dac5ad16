#include "console_export.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "text/codepage.h"
#include "text/console_text.h"

namespace quillon {

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;
// The progress bar's steps, and how long a save runs before it shows.
constexpr int kProgressSteps = 1000;
constexpr int kProgressDelayMilliseconds = 500;

class Dialogs : public ExportDialogs {
public:
    Choice AskWhatToSave(QWidget* parent, std::uint64_t selectedBytes, bool wholeToo) override
    {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Copy"), TooLargeQuestion(selectedBytes),
                        QMessageBox::Cancel, parent);
        QPushButton* selection = box.addButton(QStringLiteral("Save Selection..."), QMessageBox::AcceptRole);
        QPushButton* whole =
            wholeToo ? box.addButton(QStringLiteral("Save Whole Console..."), QMessageBox::AcceptRole) : nullptr;
        box.setDefaultButton(selection);
        box.exec();
        if (box.clickedButton() == selection)
            return Choice::Selection;
        if (whole != nullptr && box.clickedButton() == whole)
            return Choice::WholeConsole;
        return Choice::Cancel;
    }

    QString AskFileName(QWidget* parent) override
    {
        // Beside the program, where its logs are.
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Console Text"),
                                            QDir(QCoreApplication::applicationDirPath()).filePath("console.txt"),
                                            QStringLiteral("Text files (*.txt);;All files (*)"));
    }

    void Tell(QWidget* parent, const QString& message) override
    {
        QMessageBox::warning(parent, QStringLiteral("Save Console Text"), message);
    }
};

}  // namespace

std::unique_ptr<ExportDialogs> MakeExportDialogs() { return std::make_unique<Dialogs>(); }

QString TooLargeQuestion(std::uint64_t selectedBytes)
{
    return QStringLiteral(
               "The selection is %1 MB, too large for the clipboard.\n\n"
               "Save it to a file instead?")
        .arg(double(selectedBytes) / kMegabyte, 0, 'f', 1);
}

ConsoleExport* SaveInsteadOfCopy(const ConsoleText& text, TextPosition from, TextPosition to, ExportDialogs& dialogs,
                                 QWidget* parent)
{
    const std::uint64_t size = text.Size();  // the whole console as it is now
    switch (dialogs.AskWhatToSave(parent, to - from, to - from < size)) {
    case ExportDialogs::Choice::Cancel: return nullptr;
    case ExportDialogs::Choice::Selection: break;
    case ExportDialogs::Choice::WholeConsole:
        from = TextPosition();
        to = TextPosition(size);
        break;
    }
    const QString path = dialogs.AskFileName(parent);
    if (path.isEmpty())
        return nullptr;
    auto* save = new ConsoleExport(text, from, to, path, dialogs, parent);
    return save->Running() ? save : nullptr;
}

ConsoleExport::ConsoleExport(const ConsoleText& text, TextPosition from, TextPosition to, const QString& path,
                             ExportDialogs& dialogs, QWidget* parent)
    : QObject(parent),
      text_(text),
      from_(from),
      begin_(from),
      to_(to),
      dialogs_(dialogs),
      parent_(parent),
      path_(path),
      file_(path + QStringLiteral(".part"))
{
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Fail(file_.errorString());
        return;
    }
    // The dialog shows itself only when the save takes a while.
    progress_ = new QProgressDialog(QStringLiteral("Saving %1 MB to %2...")
                                        .arg(double(to - from) / kMegabyte, 0, 'f', 1)
                                        .arg(QFileInfo(path).fileName()),
                                    QStringLiteral("Cancel"), 0, kProgressSteps, parent);
    progress_->setWindowTitle(QStringLiteral("Save Console Text"));
    progress_->setMinimumDuration(kProgressDelayMilliseconds);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    connect(progress_, &QProgressDialog::canceled, this, [this] { deleteLater(); });
    connect(&turn_, &QTimer::timeout, this, &ConsoleExport::WriteSlice);
    turn_.start(0);
}

ConsoleExport::~ConsoleExport()
{
    if (!done_ && file_.isOpen())
        file_.remove();
    delete progress_.data();
}

void ConsoleExport::WriteSlice()
{
    const TextPosition end = std::min(to_, from_ + kSliceBytes);
    const std::string utf8 = Windows1252ToUtf8(text_.Between(from_, end));
    if (file_.write(utf8.data(), qint64(utf8.size())) != qint64(utf8.size())) {
        Fail(file_.errorString());
        return;
    }
    from_ = end;
    if (from_ < to_) {
        if (progress_)
            progress_->setValue(int(std::uint64_t(kProgressSteps) * (from_ - begin_) / (to_ - begin_)));
        return;
    }
    turn_.stop();
    file_.close();
    // Over any file of that name, in one step.
    if (file_.error() != QFileDevice::NoError) {
        Fail(file_.errorString());
        return;
    }
    if (std::rename(QFile::encodeName(file_.fileName()).constData(), QFile::encodeName(path_).constData()) != 0) {
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    done_ = true;
    deleteLater();
}

void ConsoleExport::Fail(const QString& reason)
{
    Abandon(QStringLiteral("%1 was not saved: %2").arg(QDir::toNativeSeparators(path_), reason));
}

void ConsoleExport::Abandon(const QString& reason)
{
    turn_.stop();
    file_.remove();  // closes it first
    if (progress_)
        progress_->hide();
    deleteLater();
    dialogs_.Tell(parent_, reason);
}

}  // namespace quillon
