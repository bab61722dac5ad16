// The console's text across compressed chunks, finding in it, and the document that tells its views.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <tuple>

#include "text/codepage.h"
#include "text/console_document.h"
#include "text/console_text.h"
#include "text/severity.h"

namespace quillon::test { namespace {

namespace fs = std::filesystem;

// Appends `count` report-like lines, returns them as read back; line 0 alone holds "FIRST-MARK \xC9T\xE9".
std::string AppendReportLines(ConsoleText& text, int count, int first = 0)
{
    static const char* const words[] = {"N0CALL-7", ">APRS,WIDE1-1,WIDE2-1:", "!4903.50N/07201.75W-", "PHG5130",
                                        "Test 001234", "00 82 a0 a4 a6 40 40 e0", "via DB0ABC", "UI pid=F0"};
    std::mt19937 random(unsigned(first + 1));
    std::string all;
    for (int i = first; i < first + count; ++i) {
        std::string line = "12:00:" + std::to_string(i % 60) + " #" + std::to_string(i) + (i == 0 ? " FIRST-MARK \xC9T\xE9" : "");
        for (unsigned n = 2 + random() % 6; n > 0; --n)
            line += std::string(" ") + words[random() % 8];
        text.Append(line, std::uint32_t(i % 5));
        text.Append(i % 2 == 0 ? "\r\n" : "\r", std::uint32_t(i % 5));
        all += line + "\n";
    }
    return all;
}

// Where two long texts first differ, with a little of each from there (not megabytes of text).
std::string Difference(std::string_view got, std::string_view want)
{
    const auto at = std::size_t(std::ranges::mismatch(got, want).in1 - got.begin());
    return got == want ? "" : "at " + std::to_string(at) + ": \"" + std::string(got.substr(at, 40)) + "\" instead of \"" +
                                  std::string(want.substr(at, 40)) + "\"";
}

// Every line, its colour and every stretch of text read back as written, wherever its chunk is.
void ExpectReadsBack(ConsoleText& text, const std::string& all, int first = 0)
{
    ASSERT_EQ(text.Size(), all.size());
    std::string lines;
    for (std::uint64_t i = 0; i + 1 < text.LineCount(); ++i) {
        const ConsoleText::Line line = text.LineAt(LineNumber(i));
        const bool coloured = line.colours[0].colour == (i + std::uint64_t(first)) % 5 &&
                              line.chunkStart + line.colours[0].offset <= line.start;
        lines += std::string(line.text) + (coloured ? "\n" : " in another colour\n");
        if (i % 997 == 0) {
            ASSERT_EQ(text.LineOf(line.start + line.text.size()), LineNumber(i));
        }
    }
    EXPECT_EQ(Difference(lines, all), "");
    EXPECT_EQ(text.LineAt(LineNumber(text.LineCount() + 9)).start, TextPosition(all.size()));  // beyond: the last
    EXPECT_EQ(Difference(text.Between(TextPosition(), text.End()), all), "");
    std::mt19937 random(7);
    for (int i = 0; i < 50; ++i) {
        const std::uint64_t from = random() % all.size();
        const std::uint64_t length = random() % (3 * ConsoleText::kChunkBytes);
        ASSERT_EQ(Difference(text.Between(TextPosition(from), TextPosition(from + length)), all.substr(from, length)), "") << from << " +" << length;
    }
}

// Find in plain numbers, for tables of them.
std::optional<std::uint64_t> Find(const ConsoleText& text, std::string_view needle, std::uint64_t from, bool forward)
{
    const std::optional<TextPosition> at = text.Find(needle, TextPosition(from), forward);
    return at ? std::optional(at->value) : std::nullopt;
}

// The open file descriptors of this process that lead into `folder`, as /proc/self/fd/N.
std::vector<fs::path> FilesOpenIn(const fs::path& folder)
{
    std::vector<fs::path> open;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (!error && target.starts_with(folder.string() + "/"))
            open.push_back(fd.path());
    }
    return open;
}

// TMPDIR set to a folder of the test's own, for the life of the object.
struct TempFolder {
    std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    std::string name = (fs::temp_directory_path() / "console-text-XXXXXX").string();
    fs::path path = ::mkdtemp(name.data());
    TempFolder() { ::setenv("TMPDIR", path.c_str(), 1); }
    ~TempFolder() { saved.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", saved.c_str(), 1), fs::remove_all(path); }
    bool Empty() const { return fs::is_empty(path); }
};

// Memory beside the compressed chunks: the open chunk, unpacked copies, buffers.
constexpr std::size_t kOverhead = 12 * ConsoleText::kChunkBytes;
constexpr std::size_t kTwoChunks = ConsoleText::kChunkBytes;  // about two compressed chunks of report lines

// A long spilled history reads back as written and is found from anywhere (any case, never across lines).
TEST(ConsoleText, AHistoryBeyondTheMemoryBudgetReadsBackFromTheFile)
{
    const TempFolder temp;
    for (const std::size_t budget : {std::size_t(0), kTwoChunks}) {
        SCOPED_TRACE(budget);
        ConsoleText text(budget);
        const std::string all = AppendReportLines(text, 100000);
        ASSERT_GT(text.Size(), 100 * ConsoleText::kChunkBytes);
        EXPECT_GT(text.SpilledBytes(), 0u);
        ExpectReadsBack(text, all);

        const std::uint64_t mark = all.find("FIRST-MARK");
        const std::uint64_t end = text.Size();
        const std::tuple<std::uint64_t, bool, std::uint64_t> finds[] = {
            {end, false, mark}, {end / 2, true, mark}, {end / 2, false, mark}, {0, true, mark}, {mark + 1, true, mark},
            {mark, false, mark}};
        for (const auto& [from, forward, found] : finds)
            EXPECT_EQ(Find(text, "first-mark", from, forward), found) << from << (forward ? " forward" : " backward");
        const std::uint64_t last = all.rfind("#99999 ");
        EXPECT_EQ(Find(text, "#99999 ", 0, false), last);
        EXPECT_EQ(Find(text, "#99999 ", last + 1, true), last);
        EXPECT_EQ(Find(text, "FIRST-MARK FIRST", end, false), std::nullopt);
        EXPECT_EQ(Find(text, "\xE9t\xC9", end, false), mark + 11);
        EXPECT_EQ(Find(text, "\n12:00:1 #1 ", 0, true), std::nullopt);
    }
    EXPECT_TRUE(temp.Empty()) << "a temporary file was left with a name";
}

// Without a temporary file the chunks stay in memory, saying why; once one can be written, back under budget.
TEST(ConsoleText, WithoutATemporaryFileTheChunksStayInMemory)
{
    const TempFolder temp;
    const std::string missing = (temp.path / "gone").string();
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 3 * ConsoleText::kChunkBytes / 2;
    struct sigaction quiet{}, before{};
    quiet.sa_handler = SIG_IGN;
    const struct { const char* what; std::function<void()> fail, recover; int error; } rows[] = {
        {"no temporary folder", [&] { ::setenv("TMPDIR", missing.c_str(), 1); }, [&] { fs::create_directory(missing); },
         ENOENT},
        {"a full disk", [&] { ::sigaction(SIGXFSZ, &quiet, &before), ::setrlimit(RLIMIT_FSIZE, &small); },
         [&] { ::setrlimit(RLIMIT_FSIZE, &saved), ::sigaction(SIGXFSZ, &before, nullptr); }, EFBIG}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ::setenv("TMPDIR", temp.path.c_str(), 1);
        ConsoleText text(kTwoChunks);
        row.fail();
        std::string all = AppendReportLines(text, 60000);
        row.recover();
        EXPECT_LE(text.SpilledBytes(), 3 * ConsoleText::kChunkBytes / 2);
        EXPECT_GT(text.HeldBytes(), kTwoChunks + kOverhead);
        ExpectReadsBack(text, all);
        EXPECT_EQ(Find(text, "first-mark", text.Size(), false), all.find("FIRST-MARK"));
        EXPECT_EQ(text.FileError(), row.error) << "why, for the window to say";

        all += AppendReportLines(text, 2000, 60000);
        EXPECT_EQ(text.FileError(), 0);
        EXPECT_LE(text.HeldBytes(), kTwoChunks + kOverhead);
        EXPECT_GT(text.SpilledBytes(), 4 * ConsoleText::kChunkBytes);
        ExpectReadsBack(text, all);
    }
}

// The temporary file cut short: its chunks read as blanks, positions hold; Clear closes it and spilling starts anew.
TEST(ConsoleText, AFileThatGivesNothingBackAndClear)
{
    const TempFolder temp;
    ConsoleText text(kTwoChunks);
    const std::string all = AppendReportLines(text, 20000);
    ASSERT_GT(text.SpilledBytes(), 4 * ConsoleText::kChunkBytes);
    const std::vector<fs::path> files = FilesOpenIn(temp.path);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(temp.Empty());
    ASSERT_EQ(::truncate(files[0].c_str(), 0), 0);

    const std::string copy = text.Between(TextPosition(), text.End());
    ASSERT_EQ(copy.size(), all.size());
    EXPECT_EQ(std::count(copy.begin(), copy.end(), '\n'), std::count(all.begin(), all.end(), '\n'));
    EXPECT_EQ(text.LineAt(LineNumber()).text.find_first_not_of(' '), std::string_view::npos);
    EXPECT_EQ(text.LineAt(LineNumber()).start, TextPosition());
    const LineNumber last(text.LineCount() - 2);
    EXPECT_EQ(text.LineAt(last).text,
              std::string_view(all).substr(text.LineAt(last).start.value, text.LineAt(last).text.size()));
    EXPECT_EQ(text.LineOf(text.LineAt(last).start), last);
    EXPECT_EQ(Find(text, "first-mark", text.Size(), false), std::nullopt);
    EXPECT_EQ(Find(text, "#19999 ", 0, false), all.rfind("#19999 "));

    text.Clear();
    EXPECT_EQ((std::vector<std::uint64_t>{text.SpilledBytes(), FilesOpenIn(temp.path).size(), text.Size(), text.LineCount(),
                                          text.LongestLine()}),
              (std::vector<std::uint64_t>{0, 0, 0, 1, 0}));  // spilled bytes, open files, size, lines, longest

    const std::string again = AppendReportLines(text, 20000, 3);
    EXPECT_GT(text.SpilledBytes(), 4 * ConsoleText::kChunkBytes);
    ExpectReadsBack(text, again, 3);
}

// What a document tells, one entry a time: "reports@first changed line", or "cleared".
struct Told final : ConsoleDocument::Listener {
    void LinesAdded(const ConsoleDocument::Added& added) override
    {
        told.push_back(std::to_string(added.reports) + "@" + std::to_string(added.firstChanged.value));
    }
    void Cleared() override { told.push_back("cleared"); }
    std::vector<std::string> told;
};

// Reports are told at once or once per outermost batch; Clear is told; a listener taken off hears nothing.
TEST(ConsoleDocument, ReportsGoAtTheEndAndAreToldOnceEachOrOnceABatch)
{
    ConsoleDocument document;
    Told listener;
    document.Watch(listener);
    document.AddText("Hello\rWorld", colour::Red);
    document.AddReport(std::vector<ConsoleRun>{{"<", colour::Green}, {"", colour::Blue}, {"a\nb\r\nc", colour::Green}});
    document.AddReport(std::vector<ConsoleRun>{{"", colour::Red}});
    document.AddText("\x80\xE9>\r", colour::Blue);
    EXPECT_EQ(document.Text().Between(TextPosition(), document.Text().End()), "Hello\nWorld<a\nb\nc\x80\xE9>\n");
    {
        const ConsoleDocument::Batch slice(document);
        document.AddText("one\r", colour::Red);
        {
            const ConsoleDocument::Batch inner(document);
            document.AddText("two\rthree\r", colour::Red);
        }
        document.AddText("", colour::Red);
        EXPECT_EQ(listener.told.size(), 3u) << "told before the batch closed";
    }
    { const ConsoleDocument::Batch empty(document); }
    document.Clear();
    EXPECT_EQ(document.Text().Size() + document.Text().LineCount(), 1u);
    document.Unwatch(listener);
    document.AddText("unheard\r", colour::Red);
    EXPECT_EQ(listener.told, (std::vector<std::string>{"1@0", "1@1", "1@3", "2@4", "cleared"}));
}


// Every byte of a line for the journal or a terminal: a control code (C0, DEL, and the bytes that would be C1
// controls U+0080-U+009F, which the journal takes for binary data) shows as "."; every other byte as its
// Windows-1252 character.
TEST(CodePage, ControlCodesShowAsDotsAndNothingElseDoes)
{
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, char(b));
        const char16_t c = Windows1252ToUnicode(std::uint8_t(b));
        std::string plain;
        AppendUtf8(plain, c);
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        EXPECT_EQ(Windows1252ToUtf8("a" + byte + "z", true), "a" + (control ? "." : plain) + "z") << b;
        EXPECT_EQ(Windows1252ToUtf8(byte), plain) << b << ": kept without the dots";
    }
}

// JOURNAL_STREAM is "DEVICE:INODE" in decimal, nothing else.
TEST(Journal, TheStreamIsADeviceAndAnInode)
{
    EXPECT_EQ(ParseDeviceInode("8:1234567"), (DeviceInode{8, 1234567}));
    EXPECT_EQ(ParseDeviceInode("0:18446744073709551615"), (DeviceInode{0, 18446744073709551615u}));
    for (const char* bad : {"", "8", "8:", ":5", "8:5:", "8;5", " 8:5", "8:5 ", "-8:5", "8:+5", "x:5", "8:99999999999999999999"})
        EXPECT_EQ(ParseDeviceInode(bad), std::nullopt) << '"' << bad << '"';
}

} }  // namespace quillon::test