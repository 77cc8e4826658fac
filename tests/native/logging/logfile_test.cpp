// The shared log file: line shape, switching, appending, directories, size
// rotation, sharing between writers, faults (lines that wait in memory),
// argument formatting and the shared instance.
#include "logging/logfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <ctime>
#include <regex>
#include <stdexcept>
#include <thread>

#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "tests/native/logging/logtest_support.h"
#include "tests/support/decimalseparator.h"

using logtest::AfterHeader;
using logtest::Exists;
using logtest::Lines;
using logtest::ReadAll;
using logtest::WriteAll;

namespace {

const int64_t MB = 1048576;

TLogValue Value(TLogValue::TKind kind) {
    TLogValue v;
    v.Kind = kind;
    return v;
}
TLogValue IntValue(TLogValue::TKind kind, int64_t i) {
    TLogValue v = Value(kind);
    v.IntValue = i;
    return v;
}
TLogValue BoolValue(bool b) {
    TLogValue v = Value(TLogValue::Boolean);
    v.BoolValue = b;
    return v;
}
TLogValue DoubleValue(double d) {
    TLogValue v = Value(TLogValue::Double);
    v.DoubleValue = d;
    return v;
}
TLogValue TextValue(TLogValue::TKind kind, const std::u16string& s) {
    TLogValue v = Value(kind);
    v.TextValue = s;
    return v;
}

std::string Utf8(const std::u16string& s) { return text::ToUtf8(s); }

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Dir.Path().empty()); }

    // Switches the log on with the file "log.txt" in the temporary folder.
    void Start(TLogFile& log, const std::string& name = "log.txt") {
        log.SetFileName(Dir.File16(name));
        log.SetEnabled(true);
    }
    std::string Content(const std::string& name = "log.txt") const { return ReadAll(Dir.File(name)); }
    std::vector<std::string> TextsOf(const std::string& name = "log.txt") const {
        std::vector<std::string> texts;
        for (const std::string& line : Lines(Content(name))) texts.push_back(AfterHeader(line));
        return texts;
    }
    // Length in bytes of one "[ INFO] <text>" line written from this thread.
    static int64_t InfoLineLength(const std::string& text) {
        return static_cast<int64_t>(TLogFile::GetLineHeader().size() + 8 + text.size() + 2);
    }

    logtest::TTempFolder Dir;
    TLogFile Log;
};

// --- Switch and file name -------------------------------------------------------

TEST_F(LogFileTest, InitialStateIsOffWithoutNameAndWritesNothing) {
    EXPECT_FALSE(Log.Enabled());
    EXPECT_EQ(Log.FileName(), u"");
    EXPECT_EQ(Log.MaxFileSize(), 0);
    EXPECT_EQ(Log.MaxFileCount(), 0);

    // A name but still switched off: no file appears, whatever is logged.
    Log.SetFileName(Dir.File16("log.txt"));
    Log.Trace(u"t");
    Log.Info(u"i");
    Log.Error(u"e");
    Log.Debug(u"d");
    Log.Error(u"e", EFailure(u"boom"));
    Log.Debug(u"d", TVariantArray{IntValue(TLogValue::Int32, 1)}, BoolValue(true));
    Log.Debug(u"d", BoolValue(false));
    Log.Info(u"i", TVariantArray{});
    EXPECT_FALSE(Log.IsOpenForTests());
    EXPECT_FALSE(Exists(Dir.File("log.txt")));

    // Switched on with an empty name: nothing opens and nothing fails.
    Log.SetFileName(u"");
    Log.SetEnabled(true);
    Log.Info(u"nowhere");
    EXPECT_FALSE(Log.IsOpenForTests());
    EXPECT_TRUE(std::filesystem::is_empty(Dir.Path()));
}

TEST_F(LogFileTest, DriveLetterPathIsAMissingDriveHere) {
    // The product's own name for the log. On this system there is no drive E:
    // nothing is written, and nothing named after it appears in the current
    // folder; every line tries again without failing.
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(Dir.Path().c_str()), 0);
    Log.SetEnabled(true);
    Log.SetFileName(u"e:\\lll.txt");
    Log.Debug(u"one");
    Log.Debug(u"two");
    EXPECT_FALSE(Log.IsOpenForTests());
    EXPECT_TRUE(std::filesystem::is_empty(Dir.Path()));
    ASSERT_EQ(chdir(previous), 0);
}

TEST_F(LogFileTest, EnabledSetterClosesOnlyOnChange) {
    Start(Log);
    Log.Info(u"first");
    ASSERT_TRUE(Log.IsOpenForTests());

    Log.SetEnabled(true);  // same value
    EXPECT_TRUE(Log.IsOpenForTests());

    Log.SetEnabled(false);
    EXPECT_FALSE(Log.IsOpenForTests());
    Log.Info(u"dropped while off");
    EXPECT_FALSE(Log.IsOpenForTests());

    Log.SetEnabled(true);
    EXPECT_FALSE(Log.IsOpenForTests()) << "opened only by the next line";
    Log.Info(u"second");
    EXPECT_TRUE(Log.IsOpenForTests());
    EXPECT_EQ(TextsOf(), (std::vector<std::string>{"[ INFO] first", "[ INFO] second"}));
}

TEST_F(LogFileTest, FileNameSetterClosesOnlyOnChange) {
    Start(Log, "a.txt");
    Log.Info(u"to a");
    ASSERT_TRUE(Log.IsOpenForTests());

    Log.SetFileName(Dir.File16("a.txt"));  // same text
    EXPECT_TRUE(Log.IsOpenForTests());

    Log.SetFileName(Dir.File16("b.txt"));
    EXPECT_FALSE(Log.IsOpenForTests());
    EXPECT_EQ(Log.FileName(), Dir.File16("b.txt"));
    Log.Info(u"to b");
    EXPECT_TRUE(Log.IsOpenForTests());

    EXPECT_EQ(TextsOf("a.txt"), std::vector<std::string>{"[ INFO] to a"});
    EXPECT_EQ(TextsOf("b.txt"), std::vector<std::string>{"[ INFO] to b"});
}

// --- Line shape -------------------------------------------------------------------

// The local time now, as (year, month, day, hour, minute, second): one
// ordered number, read independently of the platform layer.
int64_t LocalClockNow() {
    std::time_t now = std::time(nullptr);
    std::tm local = {};
    localtime_r(&now, &local);
    return ((((static_cast<int64_t>(local.tm_year + 1900) * 100 + local.tm_mon + 1) * 100 + local.tm_mday) * 100 +
             local.tm_hour) * 100 + local.tm_min) * 100 + local.tm_sec;
}

TEST_F(LogFileTest, EveryLevelWritesHeaderTagTextAndCrLf) {
    Start(Log);
    const int64_t before = LocalClockNow();
    Log.Trace(u"trace text");
    Log.Info(u"info text");
    Log.Error(u"error text");
    Log.Debug(u"debug text");
    const int64_t after = LocalClockNow();

    std::string content = Content();
    ASSERT_GE(content.size(), 2u);
    EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
    std::vector<std::string> lines = Lines(content);
    ASSERT_EQ(lines.size(), 4u);

    const char* expected[] = {"[TRACE] trace text", "[ INFO] info text", "[ERROR] error text", "[DEBUG] debug text"};
    std::regex shape(R"(^\[(\d\d)\.(\d\d)\.(\d{4}) (\d\d):(\d\d):(\d\d)\.(\d{3})\] \[(\d{8,})\] (.*)$)");
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, shape)) << lines[i];
        int day = std::stoi(m[1]), month = std::stoi(m[2]), year = std::stoi(m[3]);
        int hour = std::stoi(m[4]), minute = std::stoi(m[5]), second = std::stoi(m[6]);
        EXPECT_TRUE(day >= 1 && day <= 31 && month >= 1 && month <= 12 && year >= 2020) << lines[i];
        EXPECT_TRUE(hour <= 23 && minute <= 59 && second <= 60) << lines[i];
        // Day first, then month and year: the stamp is the local time of the
        // write, read back in that order.
        const int64_t stamp =
            ((((static_cast<int64_t>(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
        EXPECT_TRUE(stamp >= before && stamp <= after) << lines[i] << " not within " << before << ".." << after;
        EXPECT_EQ(std::stoul(m[8]), platform::CurrentThreadId()) << lines[i];
        EXPECT_EQ(m[9].str(), expected[i]);
    }
}

TEST_F(LogFileTest, HeaderCarriesTheCallingThreadPaddedToEightDigits) {
    Start(Log);
    uint32_t otherId = 0;
    std::thread other([&] {
        otherId = platform::CurrentThreadId();
        Log.Info(u"from the other thread");
    });
    other.join();
    Log.Info(u"from the main thread");

    std::vector<std::string> lines = Lines(Content());
    ASSERT_EQ(lines.size(), 2u);
    auto idOf = [](const std::string& line) { return line.substr(line.find("] [") + 3, line.find("] ", line.find("] [") + 3) - line.find("] [") - 3); };
    std::string mainId = std::to_string(platform::CurrentThreadId());
    std::string threadId = std::to_string(otherId);
    auto padded = [](std::string s) { return s.size() < 8 ? std::string(8 - s.size(), '0') + s : s; };
    EXPECT_EQ(idOf(lines[0]), padded(threadId));
    EXPECT_EQ(idOf(lines[1]), padded(mainId));
    EXPECT_NE(idOf(lines[0]), idOf(lines[1]));
}

TEST_F(LogFileTest, TimeStampAndHeaderShapes) {
    std::regex stamp(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3}$)");
    EXPECT_TRUE(std::regex_match(Utf8(TLogFile::GetTimeStamp()), stamp)) << Utf8(TLogFile::GetTimeStamp());
    std::regex header(R"(^\[\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3}\] \[\d{8,}\] $)");
    EXPECT_TRUE(std::regex_match(Utf8(TLogFile::GetLineHeader()), header)) << Utf8(TLogFile::GetLineHeader());
}

TEST_F(LogFileTest, TextIsWrittenUnchangedInTheAnsiCodePage) {
    Start(Log);
    Log.Info(u"first\r\nsecond");
    Log.Debug(u"Чек №1 'x'");
    std::string content = Content();
    // Only the first line of a multi-line text carries the header. (The ANSI
    // code page of a POSIX system is UTF-8.)
    std::vector<std::string> lines = Lines(content);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(AfterHeader(lines[0]), "[ INFO] first");
    EXPECT_EQ(lines[1], "second");
    EXPECT_EQ(AfterHeader(lines[2]), "[DEBUG] Чек №1 'x'");
    EXPECT_EQ(content.find("\xEF\xBB\xBF"), std::string::npos) << "no byte-order mark";
}

// --- File handling -------------------------------------------------------------------

TEST_F(LogFileTest, AppendsToAnExistingFileAndNeverTruncates) {
    WriteAll(Dir.File("log.txt"), "earlier content\r\n");
    Start(Log);
    Log.Info(u"one");
    Log.SetEnabled(false);  // closes
    Log.SetEnabled(true);
    Log.Info(u"two");
    TLogFile another;  // a later instance appends too
    Log.SetEnabled(false);
    Start(another);
    another.Info(u"three");

    std::vector<std::string> lines = Lines(Content());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "earlier content");
    EXPECT_EQ(AfterHeader(lines[1]), "[ INFO] one");
    EXPECT_EQ(AfterHeader(lines[2]), "[ INFO] two");
    EXPECT_EQ(AfterHeader(lines[3]), "[ INFO] three");
}

TEST_F(LogFileTest, CreatesOneMissingDirectoryLevelOnly) {
    // Parent exists: the directory is created and the line written.
    Start(Log, "sub/log.txt");
    Log.Info(u"in sub");
    EXPECT_EQ(TextsOf("sub/log.txt"), std::vector<std::string>{"[ INFO] in sub"});

    // Parent missing too: nothing is created, nothing is written (the line
    // waits), and a later line tries again (once the retry interval has
    // passed) and succeeds once the parent is there.
    logtest::TTestFileSystem files;
    TLogFile deep(files);
    Start(deep, "a/b/log.txt");
    deep.Info(u"waits");
    EXPECT_FALSE(Exists(Dir.File("a")));
    EXPECT_FALSE(deep.IsOpenForTests());
    std::filesystem::create_directory(Dir.File("a"));
    files.Advance(TLogFile::OpenRetryMilliseconds);
    deep.Info(u"found");
    EXPECT_EQ(TextsOf("a/b/log.txt"), (std::vector<std::string>{"[ INFO] waits", "[ INFO] found"}));
}

TEST_F(LogFileTest, SecondWriterOnTheSameFileKeepsItsLinesWhileReadersRead) {
    Start(Log);
    Log.Info(u"first holds the file");
    ASSERT_TRUE(Log.IsOpenForTests());

    logtest::TTestFileSystem files;
    TLogFile second(files);
    Start(second);
    second.Info(u"second waits");
    EXPECT_FALSE(second.IsOpenForTests());
    EXPECT_EQ(second.WaitingLinesForTests(), 1u);

    // A plain reader can read while the first writer holds the file.
    EXPECT_EQ(TextsOf(), std::vector<std::string>{"[ INFO] first holds the file"});
    Log.Info(u"first goes on");

    // Once the first lets go, the second's next line after the retry
    // interval opens the file.
    Log.SetEnabled(false);
    files.Advance(TLogFile::OpenRetryMilliseconds);
    second.Info(u"second now");
    EXPECT_TRUE(second.IsOpenForTests());
    EXPECT_EQ(TextsOf(), (std::vector<std::string>{"[ INFO] first holds the file", "[ INFO] first goes on",
                                                   "[ INFO] second waits", "[ INFO] second now"}));
}

TEST_F(LogFileTest, LinesFromTwoThreadsStayWhole) {
    Start(Log);
    const int perThread = 300;
    // Both start together, while the file is still closed: they race to open it.
    std::atomic<int> ready{0};
    auto writer = [&](const char16_t* tag) {
        ready.fetch_add(1);
        while (ready.load() < 2) std::this_thread::yield();
        for (int i = 0; i < perThread; ++i) Log.Debug(std::u16string(tag) + u" line with some length to it");
    };
    std::thread a(writer, u"A");
    std::thread b(writer, u"B");
    a.join();
    b.join();
    std::vector<std::string> lines = Lines(Content());
    ASSERT_EQ(lines.size(), 2u * perThread);
    int countA = 0, countB = 0;
    for (const std::string& line : lines) {
        std::string text = AfterHeader(line);
        if (text == "[DEBUG] A line with some length to it") ++countA;
        else if (text == "[DEBUG] B line with some length to it") ++countB;
        else ADD_FAILURE() << "broken line: " << line;
    }
    EXPECT_EQ(countA, perThread);
    EXPECT_EQ(countB, perThread);
}

// --- Size rotation -----------------------------------------------------------------

TEST_F(LogFileTest, RotatesOnlyWhenStrictlyOverTheLimitAfterTheLine) {
    struct Case {
        int64_t overLimit;  // size after the first line, minus the limit
        bool rotated;
    };
    for (Case c : {Case{0, false}, Case{1, true}}) {
        SCOPED_TRACE(c.overLimit);
        logtest::TTempFolder dir;
        std::string name = dir.File("log.txt");
        int64_t preload = MB - InfoLineLength("crossing") + c.overLimit;
        WriteAll(name, std::string(static_cast<size_t>(preload), 'x'));

        TLogFile log;
        log.SetMaxFileSize(1);
        log.SetMaxFileCount(2);
        log.SetFileName(dir.File16("log.txt"));
        log.SetEnabled(true);
        log.Info(u"crossing");
        if (!c.rotated) {
            EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(name)), MB);
            EXPECT_FALSE(Exists(name + ".1.log"));
            // One more line takes it over the limit: rotated after that line.
            log.Info(u"over");
        }
        ASSERT_TRUE(Exists(name + ".1.log"));
        std::vector<std::string> rotated = Lines(ReadAll(name + ".1.log"));
        EXPECT_EQ(AfterHeader(rotated.back()), c.rotated ? "[ INFO] crossing" : "[ INFO] over");
        EXPECT_TRUE(log.IsOpenForTests());
        EXPECT_EQ(std::filesystem::file_size(name), 0u) << "a new, empty file is open";
        log.Info(u"after");
        std::vector<std::string> fresh = Lines(ReadAll(name));
        ASSERT_EQ(fresh.size(), 1u);
        EXPECT_EQ(AfterHeader(fresh[0]), "[ INFO] after");
    }
}

TEST_F(LogFileTest, RotationShiftsNumberedFilesAndDropsTheOldest) {
    struct Case {
        int32_t count;
        std::vector<std::string> before;  // contents of log.txt.1.log, .2.log, ... ("" = missing)
        std::vector<std::string> after;   // contents of the numbered files after the rotation of "big"
    };
    const std::string big = "big";  // stands for the rotated file's content
    std::vector<Case> cases = {
        {1, {"one"}, {big}},
        {3, {"one", "two", "three"}, {big, "one", "two"}},
        {3, {"one", "", ""}, {big, "one", ""}},
        // Only the files below the first gap move up: nothing is dropped
        // while there is room.
        {3, {"", "two", ""}, {big, "two", ""}},
        {3, {"one", "", "three"}, {big, "one", "three"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        logtest::TTempFolder dir;
        std::string name = dir.File("log.txt");
        for (size_t i = 0; i < c.before.size(); ++i)
            if (!c.before[i].empty()) WriteAll(name + "." + std::to_string(i + 1) + ".log", c.before[i]);
        WriteAll(name, std::string(static_cast<size_t>(MB), 'x'));

        TLogFile log;
        log.SetMaxFileSize(1);
        log.SetMaxFileCount(c.count);
        log.SetFileName(dir.File16("log.txt"));
        log.SetEnabled(true);
        log.Info(u"line");

        for (size_t i = 0; i < c.after.size(); ++i) {
            std::string numbered = name + "." + std::to_string(i + 1) + ".log";
            SCOPED_TRACE(numbered);
            if (c.after[i].empty()) {
                EXPECT_FALSE(Exists(numbered));
            } else if (c.after[i] == big) {
                std::string content = ReadAll(numbered);
                EXPECT_EQ(static_cast<int64_t>(content.size()), MB + InfoLineLength("line"));
            } else {
                EXPECT_EQ(ReadAll(numbered), c.after[i]);
            }
        }
        EXPECT_FALSE(Exists(name + "." + std::to_string(c.count + 1) + ".log"));
        EXPECT_EQ(std::filesystem::file_size(name), 0u);
    }
}

TEST_F(LogFileTest, NoRotationWithoutBothLimits) {
    struct Case {
        int32_t size, count;
    };
    for (Case c : {Case{0, 3}, Case{-1, 3}, Case{1, 0}, Case{1, -2}}) {
        SCOPED_TRACE(std::to_string(c.size) + "/" + std::to_string(c.count));
        logtest::TTempFolder dir;
        std::string name = dir.File("log.txt");
        WriteAll(name, std::string(static_cast<size_t>(MB + 10), 'x'));
        TLogFile log;
        log.SetMaxFileSize(c.size);
        log.SetMaxFileCount(c.count);
        log.SetFileName(dir.File16("log.txt"));
        log.SetEnabled(true);
        log.Info(u"a");
        log.Info(u"b");
        EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(name)), MB + 10 + 2 * InfoLineLength("a"));
        EXPECT_FALSE(Exists(name + ".1.log"));
        EXPECT_TRUE(log.IsOpenForTests());
    }
}

TEST_F(LogFileTest, BlockedRenameKeepsAppendingAndRetries) {
    // A directory standing where the rotated file should go can be neither
    // deleted nor replaced.
    std::string name = Dir.File("log.txt");
    std::filesystem::create_directory(name + ".1.log");
    WriteAll(name, std::string(static_cast<size_t>(MB), 'x'));
    Start(Log);
    Log.SetMaxFileSize(1);
    Log.SetMaxFileCount(1);
    Log.Info(u"a");
    Log.Info(u"b");
    EXPECT_TRUE(Log.IsOpenForTests());
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(name)), MB + 2 * InfoLineLength("a"));

    // Blocker gone: the next line over the limit rotates.
    std::filesystem::remove(name + ".1.log");
    Log.Info(u"c");
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(name + ".1.log")), MB + 3 * InfoLineLength("a"));
    EXPECT_EQ(std::filesystem::file_size(name), 0u);
}

// A rotation that fails at any step loses nothing, however many lines over
// the limit try it again: every line written is in exactly one file, and
// every numbered file is kept but the one the rotation drops. Once the
// obstacle is gone, the next line over the limit leaves the usual layout.
TEST_F(LogFileTest, RotationThatCannotRenameLosesNothing) {
    struct Case {
        const char* what;
        std::vector<std::string> held;        // cannot be renamed or removed ("" = the log itself)
        std::vector<std::string> noRenameTo;  // renames to these fail
        bool leftAside;  // the full log stays aside: the lines after it go to a new log
    };
    const std::vector<Case> cases = {
        {"the log is held", {""}, {}, false},
        {"log.txt.1.log is held", {".1.log"}, {}, false},
        {"log.txt.2.log is held", {".2.log"}, {}, false},
        {"the oldest, log.txt.3.log, is held", {".3.log"}, {}, false},
        {"the final rename fails", {}, {".1.log"}, false},
        {"the final rename and the way back fail", {}, {".1.log", ""}, true},
    };
    const std::string full = std::string(static_cast<size_t>(MB), 'x');
    auto lineOf = [](const std::string& text) { return "[ INFO] " + text; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        logtest::TTempFolder dir;
        const std::string name = dir.File("log.txt");
        const std::u16string name16 = dir.File16("log.txt");
        WriteAll(name + ".1.log", "one");
        WriteAll(name + ".2.log", "two");
        WriteAll(name + ".3.log", "three");
        WriteAll(name, full);

        logtest::TTestFileSystem files;
        for (const std::string& h : c.held) files.Held.insert(name16 + text::FromUtf8(h));
        for (const std::string& r : c.noRenameTo) files.NoRenameTo.insert(name16 + text::FromUtf8(r));
        TLogFile log(files);
        log.SetMaxFileSize(1);
        log.SetMaxFileCount(3);
        log.SetFileName(name16);
        log.SetEnabled(true);
        std::vector<std::string> written;
        for (int i = 0; i < 20; ++i) {
            written.push_back("line " + std::to_string(i));
            log.Info(text::FromUtf8(written.back()));
            // A log begun anew while the full one stays aside looks over the
            // limit too, so that every line tries the rotation again.
            files.ExtraSize = MB;
        }
        EXPECT_TRUE(log.IsOpenForTests());

        // While the obstacle stays: each line once, "one" and "two" kept,
        // and the log's old content still there.
        {
            std::string all;
            for (const auto& file : logtest::FolderContents(dir.Path())) all += file.second + "\n";
            for (const std::string& line : written) {
                const std::string text = lineOf(line) + "\r\n";
                size_t first = all.find(text);
                EXPECT_NE(first, std::string::npos) << line << " lost";
                if (first != std::string::npos) {
                    EXPECT_EQ(all.find(text, first + 1), std::string::npos) << line;
                }
            }
            EXPECT_NE(all.find("one\n"), std::string::npos) << "one lost";
            EXPECT_NE(all.find("two\n"), std::string::npos) << "two lost";
            EXPECT_NE(all.find(full), std::string::npos) << "the log's old content lost";
        }
        if (c.held == std::vector<std::string>{""}) {
            // The log cannot be moved: nothing else is touched.
            EXPECT_EQ(ReadAll(name + ".1.log"), "one");
            EXPECT_EQ(ReadAll(name + ".2.log"), "two");
            EXPECT_EQ(ReadAll(name + ".3.log"), "three");
            EXPECT_EQ(files.Removes, 0);
        }

        // The obstacle goes: the next line over the limit rotates.
        files.Held.clear();
        files.NoRenameTo.clear();
        log.Info(u"after");
        files.ExtraSize = 0;
        written.push_back("after");
        std::vector<std::string> expectedFirst, expectedSecond;
        for (size_t i = 0; i < written.size(); ++i) {
            // Left aside, the full log kept its first line; the others went
            // to the new log, which the last line rotated too.
            (c.leftAside && i == 0 ? expectedSecond : expectedFirst).push_back(lineOf(written[i]));
        }
        auto textsOf = [](const std::string& path) {
            std::vector<std::string> texts;
            // (The first line follows the preloaded bytes on the same line.)
            for (const std::string& line : Lines(ReadAll(path)))
                if (!AfterHeader(line).empty()) texts.push_back(AfterHeader(line));
            return texts;
        };
        EXPECT_EQ(textsOf(name + ".1.log"), expectedFirst);
        if (c.leftAside) {
            EXPECT_EQ(textsOf(name + ".2.log"), expectedSecond);
            EXPECT_EQ(ReadAll(name + ".3.log"), "one");
        } else {
            EXPECT_EQ(ReadAll(name + ".1.log").substr(0, full.size()), full);
            EXPECT_EQ(ReadAll(name + ".2.log"), "one");
            EXPECT_EQ(ReadAll(name + ".3.log"), "two");
        }
        EXPECT_FALSE(Exists(name + ".rotating"));
        EXPECT_FALSE(Exists(name + ".4.log"));
        EXPECT_EQ(std::filesystem::file_size(name), 0u) << "a new, empty file is open";
        log.Info(u"fresh");
        EXPECT_EQ(textsOf(name), std::vector<std::string>{lineOf("fresh")});
    }
}

TEST_F(LogFileTest, HeldLogKeepsEveryNumberedFileExactly) {
    // The case that ate the numbered files: the log itself cannot be moved.
    // After many lines over the limit each numbered file is as it was; once
    // the reader lets go, one rotation: the log as .1.log, the oldest gone.
    std::string name = Dir.File("log.txt");
    WriteAll(name + ".1.log", "one");
    WriteAll(name + ".2.log", "two");
    WriteAll(name + ".3.log", "three");
    WriteAll(name, std::string(static_cast<size_t>(MB), 'x'));
    logtest::TTestFileSystem files;
    files.Held.insert(Dir.File16("log.txt"));
    TLogFile log(files);
    log.SetMaxFileSize(1);
    log.SetMaxFileCount(3);
    Start(log);
    for (int i = 0; i < 10; ++i) log.Info(u"held");
    EXPECT_EQ(ReadAll(name + ".1.log"), "one");
    EXPECT_EQ(ReadAll(name + ".2.log"), "two");
    EXPECT_EQ(ReadAll(name + ".3.log"), "three");
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(name)), MB + 10 * InfoLineLength("held"));

    files.Held.clear();
    log.Info(u"held");
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(name + ".1.log")), MB + 11 * InfoLineLength("held"));
    EXPECT_EQ(ReadAll(name + ".2.log"), "one");
    EXPECT_EQ(ReadAll(name + ".3.log"), "two");
    EXPECT_EQ(std::filesystem::file_size(name), 0u);
}

TEST_F(LogFileTest, RotationCutShortIsFinishedByTheNextOne) {
    // A file left aside by a rotation that never finished (the process
    // ended) is put in place first; then the full log is rotated.
    std::string name = Dir.File("log.txt");
    WriteAll(name + ".rotating", "cut short");
    WriteAll(name + ".1.log", "one");
    WriteAll(name, std::string(static_cast<size_t>(MB), 'x'));
    TLogFile log;
    log.SetMaxFileSize(1);
    log.SetMaxFileCount(3);
    Start(log);
    log.Info(u"over");
    EXPECT_FALSE(Exists(name + ".rotating"));
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(name + ".1.log")), MB + InfoLineLength("over"));
    EXPECT_EQ(ReadAll(name + ".2.log"), "cut short");
    EXPECT_EQ(ReadAll(name + ".3.log"), "one");
    EXPECT_EQ(std::filesystem::file_size(name), 0u);
}

TEST_F(LogFileTest, SizeIsComparedInSixtyFourBits) {
    // Sizes past 4 GiB: the low 32 bits alone would look small.
    const int64_t GiB4 = int64_t{1} << 32;
    struct Case {
        int64_t extra;    // added to the real size
        int32_t limitMB;
        bool rotated;
    };
    const Case cases[] = {
        {GiB4, 1, true},              // 4 GiB + a line over 1 MB
        {GiB4, 4096, true},           // over exactly 4 GiB
        {GiB4, 4097, false},          // under 4 GiB + 1 MB
        {GiB4 - MB, 2047, true},      // the largest limit that fits in 32 bits
        {3 * GiB4, 2047, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.extra) + " / " + std::to_string(c.limitMB));
        logtest::TTempFolder dir;
        logtest::TTestFileSystem files;
        files.ExtraSize = c.extra;
        TLogFile log(files);
        log.SetMaxFileSize(c.limitMB);
        log.SetMaxFileCount(1);
        log.SetFileName(dir.File16("log.txt"));
        log.SetEnabled(true);
        log.Info(u"line");
        EXPECT_EQ(Exists(dir.File("log.txt.1.log")), c.rotated);
    }
}

TEST_F(LogFileTest, SizeIsAskedOnlyWithALimit) {
    logtest::TTestFileSystem files;
    TLogFile log(files);
    Start(log);
    for (int i = 0; i < 5; ++i) log.Info(u"no limit");
    EXPECT_EQ(files.SizeQueries, 0);
    log.SetMaxFileSize(1);
    for (int i = 0; i < 5; ++i) log.Info(u"limit");
    EXPECT_EQ(files.SizeQueries, 5);
}

// --- A file that cannot be opened --------------------------------------------------

TEST_F(LogFileTest, UnopenableFileIsTriedAtMostOnceASecond) {
    // A missing or unready drive can block each try for seconds: after a
    // failed open, lines wait without touching the file system until the
    // interval has passed.
    logtest::TTestFileSystem files;
    files.RefuseOpen = true;
    TLogFile log(files);
    Start(log, "sub/log.txt");
    for (int i = 0; i < 1000; ++i) log.Debug(u"burst");
    EXPECT_EQ(files.Opens, 1);
    EXPECT_EQ(files.DirectoryTests, 1);
    EXPECT_LE(files.MakeDirectories, 1);

    files.Advance(TLogFile::OpenRetryMilliseconds - 1);
    log.Debug(u"too early");
    EXPECT_EQ(files.Opens, 1);
    files.Advance(1);
    log.Debug(u"tried, still refused");
    EXPECT_EQ(files.Opens, 2);
    EXPECT_EQ(files.DirectoryTests, 2);

    // The file can be opened again: the next line after the interval is
    // written behind all that waited, and lines written while the file is
    // open ask no clock.
    files.RefuseOpen = false;
    log.Debug(u"still waiting");
    EXPECT_EQ(files.Opens, 2);
    files.Advance(TLogFile::OpenRetryMilliseconds);
    log.Debug(u"written");
    for (int i = 0; i < 100; ++i) log.Debug(u"open");
    EXPECT_EQ(files.Opens, 3);
    std::vector<std::string> texts = TextsOf("sub/log.txt");
    ASSERT_EQ(texts.size(), 1104u);
    EXPECT_EQ(texts[0], "[DEBUG] burst");
    EXPECT_EQ(texts[999], "[DEBUG] burst");
    EXPECT_EQ(texts[1000], "[DEBUG] too early");
    EXPECT_EQ(texts[1002], "[DEBUG] still waiting");
    EXPECT_EQ(texts[1003], "[DEBUG] written");
    EXPECT_EQ(texts[1103], "[DEBUG] open");
}

TEST_F(LogFileTest, AnotherNameOrSwitchingOnTriesAtOnce) {
    logtest::TTestFileSystem files;
    files.RefuseOpen = true;
    TLogFile log(files);
    Start(log, "a.txt");
    log.Info(u"refused");
    EXPECT_EQ(files.Opens, 1);
    files.RefuseOpen = false;

    log.SetFileName(Dir.File16("b.txt"));  // another file: tried at once
    log.Info(u"to b");
    EXPECT_EQ(files.Opens, 2);
    EXPECT_EQ(TextsOf("b.txt"), std::vector<std::string>{"[ INFO] to b"});

    files.RefuseOpen = true;
    log.SetEnabled(false);
    log.SetEnabled(true);
    log.Info(u"refused again");
    files.RefuseOpen = false;
    log.SetEnabled(false);
    log.SetEnabled(true);  // switched on anew: tried at once
    log.Info(u"b again");
    EXPECT_EQ(files.Opens, 4);
    EXPECT_EQ(TextsOf("b.txt"), (std::vector<std::string>{"[ INFO] to b", "[ INFO] b again"}));
}

TEST_F(LogFileTest, FileThatCannotBePositionedAtItsEndIsNotWritten) {
    // Writing at the start would overwrite the oldest lines.
    WriteAll(Dir.File("log.txt"), "oldest\r\n");
    logtest::TTestFileSystem files;
    files.SeekFails = true;
    TLogFile log(files);
    Start(log);
    log.Info(u"waits");
    EXPECT_FALSE(log.IsOpenForTests());
    EXPECT_EQ(Content(), "oldest\r\n");
    files.SeekFails = false;
    files.Advance(TLogFile::OpenRetryMilliseconds);
    log.Info(u"appended");
    EXPECT_EQ(TextsOf(), (std::vector<std::string>{"", "[ INFO] waits", "[ INFO] appended"}));
    EXPECT_EQ(Lines(Content())[0], "oldest");
}

// --- Faults: lines wait while the file takes no writes ------------------------------

// "[DEBUG] <prefix><i>" for i in [from, to).
std::vector<std::string> Numbered(const std::string& prefix, int from, int to) {
    std::vector<std::string> texts;
    for (int i = from; i < to; ++i) texts.push_back("[DEBUG] " + prefix + std::to_string(i));
    return texts;
}

std::string LostText(uint64_t count) { return "[ERROR] " + Utf8(TLogFile::LostLinesText(count)); }

TEST_F(LogFileTest, WhileTheFileTakesWritesEachLineGoesStraightToIt) {
    logtest::TTestFileSystem files;
    TLogFile log(files);
    Start(log);
    for (int i = 0; i < 100; ++i) {
        log.Debug(u"line " + text::FromInt(i));
        // In the file before the caller goes on.
        ASSERT_EQ(Lines(Content()).size(), static_cast<size_t>(i + 1));
    }
    EXPECT_EQ(files.Opens, 1);
    EXPECT_EQ(files.Writes, 100);
    EXPECT_EQ(files.Truncates, 0);
    EXPECT_EQ(log.WaitingLinesForTests(), 0u);
    EXPECT_EQ(TextsOf(), Numbered("line ", 0, 100));
}

TEST_F(LogFileTest, OpensThatFailNTimesThenWorkLoseNoLine) {
    for (int failures : {1, 3}) {
        SCOPED_TRACE(failures);
        logtest::TTempFolder dir;
        logtest::TTestFileSystem files;
        files.RefuseOpens = failures;
        TLogFile log(files);
        log.SetFileName(text::FromUtf8(dir.File("log.txt")));
        log.SetEnabled(true);
        int written = 0;
        for (int attempt = 0; attempt <= failures; ++attempt) {
            // Several lines within each pause: only the first tries the file.
            for (int i = 0; i < 5; ++i) log.Debug(u"line " + text::FromInt(written++));
            EXPECT_EQ(files.Opens, attempt + 1);
            files.Advance(TLogFile::OpenRetryMilliseconds);
        }
        EXPECT_TRUE(log.IsOpenForTests());
        EXPECT_EQ(log.WaitingLinesForTests(), 0u);
        std::vector<std::string> texts;
        for (const std::string& line : Lines(ReadAll(dir.File("log.txt")))) texts.push_back(AfterHeader(line));
        EXPECT_EQ(texts, Numbered("line ", 0, written));
    }
}

TEST_F(LogFileTest, FailedOrShortWriteLeavesOnlyWholeLinesAndTheLineWaits) {
    enum TFault { Fails, Short, ShortOnDeadDrive, ShortOnDeadDriveThenAnotherWriter };
    for (TFault fault : {Fails, Short, ShortOnDeadDrive, ShortOnDeadDriveThenAnotherWriter}) {
        SCOPED_TRACE(static_cast<int>(fault));
        logtest::TTempFolder dir;
        const std::string path = dir.File("log.txt");
        logtest::TTestFileSystem files;
        TLogFile log(files);
        log.SetFileName(text::FromUtf8(path));
        log.SetEnabled(true);
        log.Debug(u"line 0");
        const std::string before = ReadAll(path);

        if (fault == Fails) files.FailWrites = true;
        else files.ShortWrites = 1;
        files.TruncateFails = fault == ShortOnDeadDrive || fault == ShortOnDeadDriveThenAnotherWriter;
        log.Debug(u"line 1");
        EXPECT_FALSE(log.IsOpenForTests());  // closed: its handle may be dead
        EXPECT_EQ(log.WaitingLinesForTests(), 1u);
        if (files.TruncateFails) {
            // The drive could not cut: half the line is there until the file
            // is opened again.
            EXPECT_GT(ReadAll(path).size(), before.size());
        } else {
            EXPECT_EQ(ReadAll(path), before);  // cut back to the last whole line
        }
        // Within the pause the file is not tried again.
        const int opens = files.Opens;
        log.Debug(u"line 2");
        EXPECT_EQ(files.Opens, opens);

        files.FailWrites = false;
        files.TruncateFails = false;
        std::vector<std::string> expected = Numbered("line ", 0, 1);
        if (fault == ShortOnDeadDriveThenAnotherWriter) {
            // While our file is closed, someone else cuts our piece and
            // writes a line of his own: that is not ours to take off.
            std::filesystem::resize_file(path, before.size());
            WriteAll(path, before + "someone else\r\n");
            expected.push_back("");
        }
        files.Advance(TLogFile::OpenRetryMilliseconds);
        log.Debug(u"line 3");
        for (const std::string& t : Numbered("line ", 1, 4)) expected.push_back(t);
        EXPECT_TRUE(log.IsOpenForTests());
        const std::string content = ReadAll(path);
        EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
        std::vector<std::string> texts;
        for (const std::string& line : Lines(content)) texts.push_back(AfterHeader(line));
        EXPECT_EQ(texts, expected) << content;
        if (fault == ShortOnDeadDriveThenAnotherWriter) {
            EXPECT_EQ(Lines(content)[1], "someone else");
        }
    }
}

TEST_F(LogFileTest, WaitAtAndPastItsBoundDropsTheOldestAndSaysHowMany) {
    // The bound is on lines and on bytes: short lines meet the first, long
    // ones the second.
    const std::string longText(4000, 'x');
    const int64_t longLine = InfoLineLength(longText + " 0000");  // the same length as a debug line
    const int longFit = static_cast<int>(TLogFile::WaitingBytesLimit / longLine);
    struct Case {
        const char* name;
        std::string prefix;
        int lines;
        int kept;
    };
    const int limit = static_cast<int>(TLogFile::WaitingLinesLimit);
    for (const Case& c : {Case{"exactly the line bound", "line ", limit, limit},
                          Case{"past the line bound", "line ", limit + 7, limit},
                          Case{"past the byte bound", longText + " ", longFit + 3, longFit}}) {
        SCOPED_TRACE(c.name);
        logtest::TTempFolder dir;
        const std::string path = dir.File("log.txt");
        logtest::TTestFileSystem files;
        files.RefuseOpen = true;
        TLogFile log(files);
        log.SetFileName(text::FromUtf8(path));
        log.SetEnabled(true);
        for (int i = 0; i < c.lines; ++i) {
            char number[8];
            std::snprintf(number, sizeof number, "%04d", i % 10000);
            log.Debug(text::FromUtf8(c.prefix + (c.lines > 10000 ? std::to_string(i) : number)));
        }
        EXPECT_EQ(log.WaitingLinesForTests(), static_cast<size_t>(c.kept));
        EXPECT_EQ(log.LostLinesForTests(), static_cast<uint64_t>(c.lines - c.kept));

        files.RefuseOpen = false;
        files.Advance(TLogFile::OpenRetryMilliseconds);
        log.Debug(u"after");
        std::vector<std::string> texts;
        for (const std::string& line : Lines(ReadAll(path))) texts.push_back(AfterHeader(line));
        std::vector<std::string> expected;
        if (c.kept < c.lines) expected.push_back(LostText(static_cast<uint64_t>(c.lines - c.kept)));
        for (int i = c.lines - c.kept; i < c.lines; ++i) {
            char number[8];
            std::snprintf(number, sizeof number, "%04d", i % 10000);
            expected.push_back("[DEBUG] " + c.prefix + (c.lines > 10000 ? std::to_string(i) : number));
        }
        expected.push_back("[DEBUG] after");
        ASSERT_EQ(texts.size(), expected.size());
        EXPECT_TRUE(texts == expected);
        EXPECT_EQ(log.WaitingLinesForTests(), 0u);
        EXPECT_EQ(log.LostLinesForTests(), 0u);
    }
    // The notice's own words.
    EXPECT_EQ(TLogFile::LostLinesText(7),
              u"Потеряно строк журнала: 7 (файл журнала был недоступен или на диске не было места)");
}

TEST_F(LogFileTest, TheNoticeThatFailsIsWrittenLaterWithTheCountSoFar) {
    // The file opens again but the first write (the notice) fails once more:
    // the count goes on and the one notice written says all.
    logtest::TTestFileSystem files;
    files.RefuseOpen = true;
    TLogFile log(files);
    Start(log);
    const int limit = static_cast<int>(TLogFile::WaitingLinesLimit);
    for (int i = 0; i < limit + 2; ++i) log.Debug(u"line " + text::FromInt(i));
    files.RefuseOpen = false;
    files.ShortWrites = 1;
    files.Advance(TLogFile::OpenRetryMilliseconds);
    log.Debug(u"line " + text::FromInt(limit + 2));  // the notice goes short: this line waits, one more lost
    EXPECT_EQ(Content(), "");
    files.Advance(TLogFile::OpenRetryMilliseconds);
    log.Debug(u"line " + text::FromInt(limit + 3));
    std::vector<std::string> expected{LostText(3)};
    for (const std::string& t : Numbered("line ", 3, limit + 4)) expected.push_back(t);
    EXPECT_TRUE(TextsOf() == expected);
}

TEST_F(LogFileTest, SwitchingOffOrAnotherNameDropsWhatWaits) {
    for (bool switchOff : {true, false}) {
        SCOPED_TRACE(switchOff);
        logtest::TTempFolder dir;
        logtest::TTestFileSystem files;
        files.RefuseOpen = true;
        TLogFile log(files);
        log.SetFileName(text::FromUtf8(dir.File("a.txt")));
        log.SetEnabled(true);
        for (int i = 0; i < static_cast<int>(TLogFile::WaitingLinesLimit) + 5; ++i) log.Debug(u"dropped");
        if (switchOff) {
            log.SetEnabled(false);
            log.SetEnabled(true);
        } else {
            log.SetFileName(text::FromUtf8(dir.File("b.txt")));
        }
        EXPECT_EQ(log.WaitingLinesForTests(), 0u);
        EXPECT_EQ(log.LostLinesForTests(), 0u);
        files.RefuseOpen = false;
        log.Debug(u"fresh");
        std::vector<std::string> texts;
        for (const std::string& line : Lines(ReadAll(dir.File(switchOff ? "a.txt" : "b.txt"))))
            texts.push_back(AfterHeader(line));
        EXPECT_EQ(texts, std::vector<std::string>{"[DEBUG] fresh"});
    }
}

TEST_F(LogFileTest, UnloadMakesOneLastTryForWhatWaits) {
    enum TAtUnload { FileBack, StillFailing, SwitchedOff };
    for (TAtUnload at : {FileBack, StillFailing, SwitchedOff}) {
        SCOPED_TRACE(static_cast<int>(at));
        logtest::TTempFolder dir;
        const std::string path = dir.File("log.txt");
        logtest::TTestFileSystem files;
        int opensBeforeUnload = 0;
        {
            TLogFile log(files);
            log.SetFileName(text::FromUtf8(path));
            log.SetEnabled(true);
            log.Debug(u"line 0");
            files.FailWrites = true;
            log.Debug(u"line 1");
            log.Debug(u"line 2");
            ASSERT_EQ(log.WaitingLinesForTests(), 2u);
            if (at == FileBack || at == SwitchedOff) files.FailWrites = false;
            if (at == StillFailing) files.RefuseOpen = true;
            if (at == SwitchedOff) log.SetEnabled(false);
            opensBeforeUnload = files.Opens;
            // Still within the pause after the failure: only the unload tries.
        }
        std::vector<std::string> texts;
        for (const std::string& line : Lines(ReadAll(path))) texts.push_back(AfterHeader(line));
        EXPECT_EQ(texts, Numbered("line ", 0, at == FileBack ? 3 : 1));
        EXPECT_EQ(files.Opens, opensBeforeUnload + (at == SwitchedOff ? 0 : 1));
    }
}

TEST_F(LogFileTest, SharedLogWritesWhatWaitsWhenTheLibraryIsUnloaded) {
    logtest::TTestFileSystem files;
    ResetLogFileForTests();
    {
        // The unit's finalization destroys the shared instance just so.
        TLogFile& shared = GetLogFile();
        Start(shared);
        shared.Info(u"before");
        ASSERT_TRUE(shared.IsOpenForTests());
    }
    // A held file makes the shared instance's lines wait: a second writer
    // holds it while the shared one is switched off and on again.
    GetLogFile().SetEnabled(false);
    platform::FileHandle holder = platform::OpenLogFile(Dir.File16("log.txt"));
    ASSERT_NE(holder, platform::InvalidFileHandle);
    GetLogFile().SetEnabled(true);
    GetLogFile().Info(u"waits 1");
    GetLogFile().Info(u"waits 2");
    EXPECT_EQ(GetLogFile().WaitingLinesForTests(), 2u);
    platform::CloseFileHandle(holder);
    ResetLogFileForTests();
    EXPECT_EQ(TextsOf(), (std::vector<std::string>{"[ INFO] before", "[ INFO] waits 1", "[ INFO] waits 2"}));
}

TEST_F(LogFileTest, LinesOfSeveralThreadsKeepTheirOrderThroughFaults) {
    // Four threads write while the file fails, goes short, refuses to open
    // and comes back, over and over: every line reaches the file once, whole,
    // and each thread's lines in the order it wrote them.
    logtest::TTestFileSystem files;
    TLogFile log(files);
    Start(log);
    const int threads = 4, perThread = 1000;
    std::atomic<int> running{threads};
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&log, &running, t] {
            for (int i = 0; i < perThread; ++i)
                log.Debug(u"thread " + text::FromInt(t) + u" line " + text::FromInt(i) + u" with some length");
            running.fetch_sub(1);
        });
    }
    for (int round = 0; running.load() > 0; ++round) {
        {
            std::lock_guard<std::mutex> lock(files.Guard());
            files.FailWrites = round % 4 == 1;
            files.ShortWrites = round % 4 == 2 ? 3 : 0;
            files.RefuseOpens = round % 4 == 3 ? 2 : 0;
        }
        files.Advance(TLogFile::OpenRetryMilliseconds);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    for (std::thread& w : writers) w.join();
    {
        std::lock_guard<std::mutex> lock(files.Guard());
        files.FailWrites = false;
        files.ShortWrites = 0;
        files.RefuseOpens = 0;
    }
    files.Advance(TLogFile::OpenRetryMilliseconds);
    log.Debug(u"last");
    EXPECT_GT(files.Truncates, 0);  // the faults did happen

    std::vector<int> next(threads, 0);
    const std::vector<std::string> texts = TextsOf();
    ASSERT_EQ(texts.size(), static_cast<size_t>(threads * perThread + 1));
    EXPECT_EQ(texts.back(), "[DEBUG] last");
    for (size_t k = 0; k + 1 < texts.size(); ++k) {
        int t = -1, i = -1;
        char tail[32] = {};
        if (std::sscanf(texts[k].c_str(), "[DEBUG] thread %d line %d with some %31s", &t, &i, tail) != 3 || t < 0 ||
            t >= threads || std::string(tail) != "length") {
            ADD_FAILURE() << "broken line: " << texts[k];
            continue;
        }
        EXPECT_EQ(i, next[t]) << "thread " << t;
        next[t] = i + 1;
    }
    for (int t = 0; t < threads; ++t) EXPECT_EQ(next[t], perThread);
}

// --- Threads -----------------------------------------------------------------------

TEST_F(LogFileTest, ThreadsRotatingTogetherLoseNoLine) {
    // Four threads write while the file rotates every few kilobytes (its size
    // reported just under the limit): every line whole, in exactly one file.
    logtest::TTestFileSystem files;
    files.ExtraSize = MB - 4096;
    TLogFile log(files);
    log.SetMaxFileSize(1);
    log.SetMaxFileCount(1000);
    Start(log);
    const int threads = 4, perThread = 300;
    std::atomic<int> ready{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&log, &ready, t] {
            ready.fetch_add(1);
            while (ready.load() < threads) std::this_thread::yield();
            for (int i = 0; i < perThread; ++i)
                log.Debug(u"thread " + text::FromInt(t) + u" line " + text::FromInt(i) + u" with some length to it");
        });
    }
    for (std::thread& w : writers) w.join();
    log.SetEnabled(false);

    std::map<std::string, int> seen;
    int rotated = 0;
    for (const auto& file : logtest::FolderContents(Dir.Path())) {
        if (file.first != "log.txt") ++rotated;
        for (const std::string& line : Lines(file.second)) ++seen[AfterHeader(line)];
    }
    EXPECT_GE(rotated, 10);
    EXPECT_EQ(seen.size(), static_cast<size_t>(threads * perThread));
    for (int t = 0; t < threads; ++t)
        for (int i = 0; i < perThread; ++i) {
            const std::string text =
                "[DEBUG] thread " + std::to_string(t) + " line " + std::to_string(i) + " with some length to it";
            EXPECT_EQ(seen[text], 1) << text;
        }
}

TEST_F(LogFileTest, SwitchingWhileThreadsWriteKeepsLinesWhole) {
    // The switch and the name change under writers: lines are dropped or
    // written whole, never broken, and the switch reads the same on every
    // thread once set.
    Start(Log, "a.txt");
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([&] {
            while (!stop.load()) {
                if (Log.Enabled()) Log.Info(u"a line with some length to it");
                Log.Debug(u"another line");
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        Log.SetEnabled(i % 2 == 0);
        Log.SetFileName(Dir.File16(i % 3 == 0 ? "a.txt" : "b.txt"));
    }
    Log.SetEnabled(true);
    EXPECT_TRUE(Log.Enabled());
    stop.store(true);
    for (std::thread& w : writers) w.join();
    Log.SetEnabled(false);
    for (const char* name : {"a.txt", "b.txt"}) {
        if (!Exists(Dir.File(name))) continue;
        for (const std::string& line : Lines(Content(name))) {
            const std::string text = AfterHeader(line);
            EXPECT_TRUE(text == "[ INFO] a line with some length to it" || text == "[DEBUG] another line") << line;
        }
    }
}

// --- Formatting -------------------------------------------------------------------

TEST(LogFormatTest, QuoteText) {
    struct Case {
        std::u16string in;
        std::u16string out;
    };
    const Case cases[] = {
        {u"", u"''"},
        {u"abc", u"'abc'"},
        {u"A\r\nB", u"'A'#$0D#$0A'B'"},
        {u"\t", u"#$09"},
        {u"\x1f" u"x\x1b", u"#$1F'x'#$1B"},
        {std::u16string(1, u'\0'), u"#$00"},
        {u"it's", u"'it's'"},
        {u" ", u"' '"},
        {u"Сумма", u"'Сумма'"},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8(TLogFile::QuoteText(c.in)), Utf8(c.out)) << Utf8(c.in);
}

TEST(LogFormatTest, FormatValueAndValueText) {
    platform::SetUserDecimalSeparatorForTests(u',');
    struct Case {
        TLogValue value;
        std::u16string formatted;  // FormatValue
        std::u16string plain;      // ValueText
    };
    const Case cases[] = {
        {Value(TLogValue::Null), u"NULL", u""},
        {IntValue(TLogValue::Int32, -42), u"-42", u"-42"},
        {IntValue(TLogValue::Int64, 9007199254740993LL), u"9007199254740993", u"9007199254740993"},
        {IntValue(TLogValue::Int64, INT64_MIN), u"-9223372036854775808", u"-9223372036854775808"},
        {BoolValue(true), u"True", u"True"},
        {BoolValue(false), u"False", u"False"},
        {DoubleValue(1.5), u"1,5", u"1,5"},
        {IntValue(TLogValue::Currency, 15000), u"1,5", u"1,5"},
        {IntValue(TLogValue::Currency, 20000), u"2", u"2"},
        {IntValue(TLogValue::Currency, -5), u"-0,0005", u"-0,0005"},
        {IntValue(TLogValue::Currency, 123456789), u"12345,6789", u"12345,6789"},
        {TextValue(TLogValue::AnsiString, u"A\r\nB"), u"'A'#$0D#$0A'B'", u"A\r\nB"},
        {TextValue(TLogValue::OleString, u""), u"''", u""},
        {TextValue(TLogValue::OleString, u"it's"), u"'it's'", u"it's"},
        {TextValue(TLogValue::NativeString, u"not quoted"), u"not quoted", u"not quoted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.formatted));
        EXPECT_EQ(Utf8(TLogFile::FormatValue(c.value)), Utf8(c.formatted));
        EXPECT_EQ(Utf8(TLogFile::ValueText(c.value)), Utf8(c.plain));
    }
    platform::SetUserDecimalSeparatorForTests(0);
}

TEST(LogFormatTest, FormatValuesJoinsAndParenthesises) {
    struct Case {
        TVariantArray values;
        std::u16string out;
    };
    const TLogValue empty = TextValue(TLogValue::NativeString, u"");
    const TLogValue one = IntValue(TLogValue::Int32, 1);
    const TLogValue two = IntValue(TLogValue::Int32, 2);
    const Case cases[] = {
        {{}, u"()"},
        {{one}, u"(1)"},
        {{one, TextValue(TLogValue::OleString, u"a"), Value(TLogValue::Null)}, u"(1, 'a', NULL)"},
        // An empty text adds nothing of its own; the separator only follows
        // text already written.
        {{empty, one}, u"(1)"},
        {{one, empty, two}, u"(1, , 2)"},
        {{empty, empty}, u"()"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8(TLogFile::FormatValues(c.values)), Utf8(c.out));
        EXPECT_EQ(Utf8(TLogFile::FormatParams(c.values)), Utf8(c.out));
    }
}

TEST_F(LogFileTest, OverloadsWithArgumentsResultsAndExceptions) {
    Start(Log);
    const TVariantArray args = {IntValue(TLogValue::Int32, 7), TextValue(TLogValue::OleString, u"x\ty")};
    Log.Debug(u"Empty", TVariantArray{});
    Log.Trace(u"T", args);
    Log.Info(u"I", args);
    Log.Error(u"E", args);
    Log.Debug(u"D", args);
    Log.Debug(u"F", args, BoolValue(true));
    Log.Debug(u"G", Value(TLogValue::Null));
    Log.Error(u"Failed:", EFailure(u"Нет связи"));
    Log.Error(u"Std:", std::runtime_error("bad thing"));

    EXPECT_EQ(TextsOf(), (std::vector<std::string>{
                             "[DEBUG] Empty()",
                             "[TRACE] T(7, 'x'#$09'y')",
                             "[ INFO] I(7, 'x'#$09'y')",
                             "[ERROR] E(7, 'x'#$09'y')",
                             "[DEBUG] D(7, 'x'#$09'y')",
                             "[DEBUG] F(7, 'x'#$09'y')=True",
                             "[DEBUG] G=NULL",
                             "[ERROR] Failed: Нет связи",
                             "[ERROR] Std: " + Utf8(ExceptionMessage(std::runtime_error("bad thing"))),
                         }));
}

// --- Shared instance -----------------------------------------------------------------

TEST(SharedLogFileTest, CreatedOnceInItsInitialState) {
    ResetLogFileForTests();
    TLogFile& first = GetLogFile();
    EXPECT_EQ(&first, &GetLogFile());
    EXPECT_FALSE(first.Enabled());
    EXPECT_EQ(first.FileName(), u"");
    EXPECT_EQ(first.MaxFileSize(), 0);
    EXPECT_EQ(first.MaxFileCount(), 0);
    first.SetMaxFileCount(5);
    EXPECT_EQ(GetLogFile().MaxFileCount(), 5);
    ResetLogFileForTests();
    EXPECT_EQ(GetLogFile().MaxFileCount(), 0) << "a fresh instance after the reset";
    ResetLogFileForTests();
}

TEST(SharedLogFileTest, ThreadsRacingToTheFirstCallGetOneInstance) {
    for (int round = 0; round < 100; ++round) {
        ResetLogFileForTests();
        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        TLogFile* seen[4] = {};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                ready.fetch_add(1);
                while (!go.load()) std::this_thread::yield();
                seen[t] = &GetLogFile();
            });
        }
        while (ready.load() < 4) std::this_thread::yield();
        go.store(true);
        for (std::thread& t : threads) t.join();
        for (int t = 1; t < 4; ++t) ASSERT_EQ(seen[t], seen[0]) << "round " << round;
        ASSERT_EQ(seen[0], &GetLogFile());
    }
    ResetLogFileForTests();
}

}  // namespace
