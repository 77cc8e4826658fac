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
    EXPECT_EQ(platform::FileSize(first), 3);
    EXPECT_EQ(platform::SeekToEnd(first), 3);
    EXPECT_EQ(platform::WriteBytes(first, "def", 3), 3u);
    EXPECT_EQ(platform::FileSize(first), 6);

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

TEST(LogPlatformTest, TruncateCutsBackAndReadAtReadsWhatIsThere) {
    // What the log uses to take a broken line off again.
    logtest::TTempFolder dir;
    WriteAll(dir.File("log"), "whole\r\nhalf a li");
    platform::FileHandle h = platform::OpenLogFile(dir.File16("log"));
    ASSERT_NE(h, platform::InvalidFileHandle);
    char piece[16] = {};
    EXPECT_EQ(platform::ReadBytesAt(h, 7, piece, sizeof piece), 9u);  // only what is there
    EXPECT_EQ(std::string(piece, 9), "half a li");
    EXPECT_TRUE(platform::TruncateFile(h, 7));
    EXPECT_EQ(platform::FileSize(h), 7);
    EXPECT_EQ(platform::WriteBytes(h, "next\r\n", 6), 6u);  // written where it was cut
    EXPECT_EQ(ReadAll(dir.File("log")), "whole\r\nnext\r\n");
    EXPECT_FALSE(platform::TruncateFile(h, -1));
    platform::CloseFileHandle(h);
    EXPECT_FALSE(platform::TruncateFile(platform::InvalidFileHandle, 0));
    EXPECT_EQ(platform::WriteBytes(platform::InvalidFileHandle, "x", 1), 0u);
    EXPECT_EQ(platform::ReadBytesAt(platform::InvalidFileHandle, 0, piece, 1), 0u);
    EXPECT_EQ(platform::SeekToEnd(platform::InvalidFileHandle), -1);
}

TEST(LogPlatformTest, SizeAndEndPastFourGigabytes) {
    // A sparse file just over 4 GiB: its size in full, and a write after
    // moving to the end lands there, leaving the first bytes alone.
    logtest::TTempFolder dir;
    const int64_t big = (int64_t{1} << 32) + 100;
    WriteAll(dir.File("big"), "HEAD");
    std::error_code error;
    std::filesystem::resize_file(dir.File("big"), static_cast<uintmax_t>(big), error);
    if (error) GTEST_SKIP() << "no sparse file of 4 GiB here: " << error.message();
    platform::FileHandle h = platform::OpenLogFile(dir.File16("big"));
    ASSERT_NE(h, platform::InvalidFileHandle);
    EXPECT_EQ(platform::FileSize(h), big);
    EXPECT_EQ(platform::SeekToEnd(h), big);
    EXPECT_EQ(platform::WriteBytes(h, "tail", 4), 4u);
    EXPECT_EQ(platform::FileSize(h), big + 4);
    platform::CloseFileHandle(h);
    std::ifstream in(dir.File("big"), std::ios::binary);
    char head[4] = {};
    in.read(head, 4);
    EXPECT_EQ(std::string(head, 4), "HEAD");
    in.seekg(big);
    char tail[4] = {};
    in.read(tail, 4);
    EXPECT_EQ(std::string(tail, 4), "tail");
}

TEST(LogPlatformTest, AnsiIntoABufferMatchesTheWholeConversion) {
    // The POSIX "ANSI" code page is UTF-8; lone surrogates become U+FFFD.
    const std::u16string texts[] = {u"", u"abc", u"Чек №1", u"\xD83D\xDE00 pair", std::u16string(1, u'\xD800') + u"x",
                                    std::u16string(1, u'\xDC00'), std::u16string(700, u'Ж')};
    for (const std::u16string& text : texts) {
        const std::string whole = platform::ToAnsi(text);
        char buffer[4096];
        size_t length = 0;
        ASSERT_TRUE(platform::ToAnsi(text.data(), text.size(), buffer, sizeof buffer, length));
        EXPECT_EQ(std::string(buffer, length), whole);
        // One byte short of the result: refused.
        if (!whole.empty()) {
            EXPECT_FALSE(platform::ToAnsi(text.data(), text.size(), buffer, whole.size() - 1, length));
        }
        EXPECT_TRUE(platform::ToAnsi(text.data(), text.size(), buffer, whole.size(), length));
        EXPECT_EQ(length, whole.size());
    }
}

TEST(LogPlatformTest, MonotonicClockNeverGoesBack) {
    uint64_t last = platform::MonotonicMilliseconds();
    for (int i = 0; i < 1000; ++i) {
        uint64_t now = platform::MonotonicMilliseconds();
        EXPECT_GE(now, last);
        last = now;
    }
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
