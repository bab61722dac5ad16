// Copying more than the clipboard should hold: saved in slices to a file, as the clipboard would have had it.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "frames.h"
#include "program.h"
#include "window_fixtures.h"

namespace quillon::test {
namespace {

using Choice = ExportDialogs::Choice;

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

TEST(ConsoleExport, ASelectionOverTheLimitIsSavedToAFileAsTheClipboardWouldHaveHadIt)
{
    const auto document = std::make_shared<ConsoleDocument>();
    ConsoleArea area(document);
    for (const auto& report : ReportRuns(Joined(ManyFrames(6000, 21))))
        document->AddReport(report);
    document->AddText("\x80 caf\xE9 \xC0\x9F\r", colour::Red);  // beyond ASCII: two and three bytes in UTF-8
    const std::uint64_t size = area.Text().Size();
    ASSERT_GT(size, 2 * ConsoleExport::kSliceBytes);  // several slices, several turns of the event loop
    const std::uint64_t part = size - 12345 - 777;

    enum class Expect { Clipboard, Selection, Whole, Nothing };
    struct Case {
        const char* what;
        std::uint64_t limit;
        bool everything;  // selected
        Choice choice;
        const char* file;  // "": the file dialog cancelled
        Expect expect;
        std::string asked;
    };
    const std::string partAsked = std::to_string(part) + " bytes, or the whole; ";
    const Case cases[] = {
        {"at the limit, the clipboard", part, false, Choice::Selection, "", Expect::Clipboard, ""},
        {"the selection saved", part - 1, false, Choice::Selection, "1.txt", Expect::Selection,
         partAsked + "file name; "},
        {"the whole console saved", 1000, false, Choice::WholeConsole, "2.txt", Expect::Whole,
         partAsked + "file name; "},
        {"everything selected: no second offer", 1000, true, Choice::Selection, "3.txt", Expect::Whole,
         " bytes; file name; "},  // behind the size of the moment
        {"cancelled at the question", 1000, false, Choice::Cancel, "4.txt", Expect::Nothing, partAsked},
        {"cancelled at the file name", 1000, false, Choice::Selection, "", Expect::Nothing, partAsked + "file name; "},
    };
    QTemporaryDir dir;
    const auto filesThere = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(); };
    int saved = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto dialogs = std::make_unique<AnsweringDialogs>(c.choice, *c.file ? dir.filePath(c.file) : QString());
        AnsweringDialogs& answers = *dialogs;
        area.SetExportDialogs(std::move(dialogs));
        area.SetCopyLimit(c.limit);
        if (c.everything)
            area.SelectAll();
        else
            area.Select(TextPosition(12345), TextPosition(12345 + part));
        const std::string selected = Utf8(area.SelectedText());
        const std::string whole = Utf8(area.PlainText());
        const std::string asked = c.everything ? std::to_string(area.Text().Size()) + c.asked : c.asked;
        QApplication::clipboard()->setText(QStringLiteral("as before"));

        area.Copy();
        if (c.expect == Expect::Selection || c.expect == Expect::Whole) {
            // The file gets its name only when all is written; a report that comes meanwhile is not in it.
            QCoreApplication::processEvents();  // one turn writes one slice, of several
            EXPECT_TRUE(area.Saving());
            EXPECT_FALSE(QFile::exists(answers.file));
            document->AddText("a report during the save\r", colour::Blue);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !area.Saving(); }, 30000));
        }
        EXPECT_EQ(answers.asked, asked);
        EXPECT_EQ(*answers.told, "");
        // Megabytes each: compared without printing them.
        EXPECT_TRUE(Utf8(QApplication::clipboard()->text()) == (c.expect == Expect::Clipboard ? selected : "as before"));
        const std::string expected = c.expect == Expect::Selection ? selected : c.expect == Expect::Whole ? whole : "";
        EXPECT_TRUE((answers.file.isEmpty() ? "" : ReadFile(answers.file.toStdString())) == expected);  // "": no file
        saved += expected.empty() ? 0 : 1;
        EXPECT_EQ(filesThere(), saved);  // and no temporary one left
    }

    // Clear Counter while a save runs: nothing saved, and the user told so.
    auto dialogs = std::make_unique<AnsweringDialogs>(Choice::WholeConsole, dir.filePath("cleared.txt"));
    AnsweringDialogs& cleared = *dialogs;
    area.SetExportDialogs(std::move(dialogs));
    area.SelectAll();
    area.Copy();
    ASSERT_TRUE(area.Saving());
    document->Clear();
    EXPECT_FALSE(area.Saving());
    EXPECT_EQ(*cleared.told, "The console was cleared before it was saved: nothing was saved.");
    EXPECT_TRUE(QTest::qWaitFor([&] { return filesThere() == saved; }));  // its temporary file gone too
    EXPECT_FALSE(QFile::exists(cleared.file));
}

}  // namespace
}  // namespace quillon::test
