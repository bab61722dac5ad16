// The program's small files: read whole up to the limit, a byte more refused with its reason, a missing
// one quietly (what is no regular file is the end-to-end test's).
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "small_file.h"

namespace quillon::test {
namespace {

TEST(SmallFile, ARegularFileUpToTheLimitIsReadAnythingElseIsRefusedWithItsReason)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString(), path = folder + "/tnc_init.txt";
    const std::string full(kSmallFileLimit, 'x');
    const struct { const char* name; std::string contents; std::string text, refusal; } cases[] = {
        {"empty", "", "", ""}, {"1 MB", full, full, ""}, {"a byte more", full + "x", "", "tnc_init.txt: larger than 1 MB"},
        {"missing", "?", "", ""},  // "?": no file
    };
    for (const auto& c : cases) {
        std::filesystem::remove(path);
        if (c.contents != "?")
            std::ofstream(path, std::ios::binary) << c.contents;
        const SmallFile file = ReadSmallFile(folder, "tnc_init.txt");
        EXPECT_TRUE(file.text == c.text) << c.name << ": " << file.text.size() << " bytes";
        EXPECT_EQ(file.refusal, c.refusal) << c.name;
    }
}

// Written in one step, readable by all, and nothing left beside it; where it cannot be, the reason, and the old
// file stays.
TEST(SmallFile, AWrittenFileReplacesTheOldOneWholeOrNotAtAll)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString(), path = folder + "/quillon.prom";
    for (const char* text : {"old\n", "new\n"})
        EXPECT_EQ(WriteSmallFile(path, text), "");
    EXPECT_EQ(ReadSmallFile(folder, "quillon.prom").text, "new\n");
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0644));
    std::filesystem::create_directory(path + ".d");
    EXPECT_EQ(WriteSmallFile(path + ".d", "x"), "Is a directory");  // a rename over a folder fails
    EXPECT_EQ(WriteSmallFile(folder + "/none/quillon.prom", "x"), "No such file or directory");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2) << "a temporary file left behind";
}

}  // namespace
}  // namespace quillon::test
