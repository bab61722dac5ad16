// Saving console text that is too large for the clipboard.
//
// A million reports are some 360 MB of text, twice that as the QString the
// clipboard wants, and building it would hold the window for seconds. So
// Copy of a selection beyond a limit asks instead whether to save the
// selection, or the whole console, to a file, and writes it there in UTF-8,
// as the clipboard would have had it, a slice per turn of the event loop:
// frames go on arriving and the window goes on answering meanwhile, and no
// more than a slice is ever held.
#pragma once

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>

#include "text/console_place.h"

class QProgressDialog;
class QWidget;

namespace quillon {

class ConsoleText;

// The questions a big copy asks the user: the real ones are dialogs, tests
// answer them themselves.
class ExportDialogs {
public:
    enum class Choice { Cancel, Selection, WholeConsole };

    virtual ~ExportDialogs() = default;
    // What to save, the selection being `selectedBytes` long; `wholeToo`
    // offers the whole console as well.
    virtual Choice AskWhatToSave(QWidget* parent, std::uint64_t selectedBytes, bool wholeToo) = 0;
    // The file to save to; empty when the user cancels.
    virtual QString AskFileName(QWidget* parent) = 0;
    // A save that failed or was broken off, and why.
    virtual void Tell(QWidget* parent, const QString& message) = 0;
};

// A QMessageBox, a QFileDialog, a QMessageBox.
std::unique_ptr<ExportDialogs> MakeExportDialogs();

// The question in words: "The selection is 361.2 MB, too large for the
// clipboard." and what to do about it.
QString TooLargeQuestion(std::uint64_t selectedBytes);

// One save under way: the text from `from` to `to` into `path`. The file
// takes its name only when all of it is written; until then it is
// `path`.part, removed when the save fails or is cancelled. (Not a
// QSaveFile: its commit waits for the disk, a freeze of a quarter of a
// second for a few hundred megabytes.)
class ConsoleExport : public QObject {
public:
    // Bytes of console text written per turn of the event loop.
    static constexpr std::uint64_t kSliceBytes = 1024 * 1024;

    ConsoleExport(const ConsoleText& text, TextPosition from, TextPosition to, const QString& path,
                  ExportDialogs& dialogs, QWidget* parent);
    ~ConsoleExport() override;

    // False once it has ended, or when the file could not be made.
    bool Running() const { return turn_.isActive(); }
    // Ends the save without a file, telling the user `reason`.
    void Abandon(const QString& reason);

private:
    void WriteSlice();
    void Fail(const QString& reason);

    const ConsoleText& text_;
    TextPosition from_;  // the next byte to write
    TextPosition begin_;
    TextPosition to_;
    ExportDialogs& dialogs_;
    QWidget* parent_;
    QString path_;
    QFile file_;  // the .part file
    bool done_ = false;
    QTimer turn_;
    QPointer<QProgressDialog> progress_;
};

// Asks what to save instead of copying the text from `from` to `to`, and
// for the file, then starts saving; nullptr when the user cancels or the
// file cannot be made (told).
ConsoleExport* SaveInsteadOfCopy(const ConsoleText& text, TextPosition from, TextPosition to, ExportDialogs& dialogs,
                                 QWidget* parent);

}  // namespace quillon
