// The file and clock operations of the platform layer that the log file uses.
#include <gtest/gtest.h>

#include <thread>

#include "platform/platform.h"
#include "platform/text.h"
#include "tests/native/logging/logtest_support.h"

using logtest::Exists;
using logtest::ReadAll;
using logtest::WriteAll;

namespace {

TEST(LogPlatformTest, DirectoryPartKeepsEverythingUpToTheLastSeparator) {
    struct Case {
        std::u16string path;
        std::u16string directory;
    };
    const Case cases[] = {
        {u"e:\\lll.txt", u"e:\\"},
        {u"e:lll.txt", u"e:"},
        {u"c:\\logs\\sub\\a.txt", u"c:\\logs\\sub\\"},
        {u"/tmp/x/log.txt", u"/tmp/x/"},
        {u"dir\\mixed/name.txt", u"dir\\mixed/"},
        {u"log.txt", u""},
        {u"", u""},
        {u"/tmp/x/", u"/tmp/x/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text::ToUtf8(platform::DirectoryPart(c.path)), text::ToUtf8(c.directory)) << text::ToUtf8(c.path);
}

TEST(LogPlatformTest, MoveNeverReplacesAnExistingTarget) {
    logtest::TTempFolder dir;
    WriteAll(dir.File("a"), "A");
    WriteAll(dir.File("b"), "B");
    EXPECT_FALSE(platform::MoveFileNoReplace(dir.File16("a"), dir.File16("b")));
    EXPECT_EQ(ReadAll(dir.File("a")), "A");
    EXPECT_EQ(ReadAll(dir.File("b")), "B");

    EXPECT_TRUE(platform::MoveFileNoReplace(dir.File16("a"), dir.File16("c")));
    EXPECT_FALSE(Exists(dir.File("a")));
    EXPECT_EQ(ReadAll(dir.File("c")), "A");

    EXPECT_FALSE(platform::MoveFileNoReplace(dir.File16("missing"), dir.File16("d")));
    EXPECT_FALSE(Exists(dir.File("d")));
}

TEST(LogPlatformTest, ExistenceTestsTellFilesFromDirectories) {
    logtest::TTempFolder dir;
    WriteAll(dir.File("f"), "x");
    std::filesystem::create_directory(dir.File("d"));
    EXPECT_TRUE(platform::FileExists(dir.File16("f")));
    EXPECT_FALSE(platform::DirectoryExists(dir.File16("f")));
    EXPECT_TRUE(platform::DirectoryExists(dir.File16("d")));
    EXPECT_FALSE(platform::FileExists(dir.File16("d")));
    EXPECT_FALSE(platform::FileExists(dir.File16("none")));
    EXPECT_FALSE(platform::DirectoryExists(dir.File16("none")));

    platform::CreateOneDirectory(dir.File16("p/q"));  // parent missing: nothing
    EXPECT_FALSE(Exists(dir.File("p")));
    platform::DeleteFileIgnoringErrors(dir.File16("none"));  // no failure
    platform::DeleteFileIgnoringErrors(dir.File16("f"));
    EXPECT_FALSE(Exists(dir.File("f")));
}

TEST(LogPlatformTest, OpenAppendsAndAdmitsOneWriter) {
    logtest::TTempFolder dir;
    WriteAll(dir.File("log"), "abc");
    platform::FileHandle first = platform::OpenLogFile(dir.File16("log"));
    ASSERT_NE(first, platform::InvalidFileHandle);
    EXPECT_EQ(platform::FileSizeLow32(first), 3);
    platform::SeekToEnd(first);
    platform::WriteBytes(first, "def");
    EXPECT_EQ(platform::FileSizeLow32(first), 6);

    // Refused for a second writer, in this thread or another one.
    EXPECT_EQ(platform::OpenLogFile(dir.File16("log")), platform::InvalidFileHandle);
    platform::FileHandle fromThread = 0;
    std::thread([&] { fromThread = platform::OpenLogFile(dir.File16("log")); }).join();
    EXPECT_EQ(fromThread, platform::InvalidFileHandle);
    EXPECT_EQ(ReadAll(dir.File("log")), "abcdef");

    platform::CloseFileHandle(first);
    platform::FileHandle again = platform::OpenLogFile(dir.File16("log"));
    EXPECT_NE(again, platform::InvalidFileHandle);
    platform::CloseFileHandle(again);

    EXPECT_EQ(platform::OpenLogFile(u""), platform::InvalidFileHandle);
    EXPECT_EQ(platform::OpenLogFile(dir.File16("missing/log")), platform::InvalidFileHandle);
}

TEST(LogPlatformTest, LocalNowIsOneConsistentReading) {
    platform::LocalDateTime now = platform::LocalNow();
    EXPECT_GE(now.Year, 2020);
    EXPECT_TRUE(now.Month >= 1 && now.Month <= 12);
    EXPECT_TRUE(now.Day >= 1 && now.Day <= 31);
    EXPECT_TRUE(now.Hour >= 0 && now.Hour <= 23);
    EXPECT_TRUE(now.Minute >= 0 && now.Minute <= 59);
    EXPECT_TRUE(now.Second >= 0 && now.Second <= 60);
    EXPECT_TRUE(now.Millisecond >= 0 && now.Millisecond <= 999);

    uint32_t other = 0;
    std::thread([&] { other = platform::CurrentThreadId(); }).join();
    EXPECT_NE(other, platform::CurrentThreadId());
    EXPECT_EQ(platform::CurrentThreadId(), platform::CurrentThreadId());
}

}  // namespace
