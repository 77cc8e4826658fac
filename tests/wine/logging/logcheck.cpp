// The shared log file on Windows: the ANSI code page with its default
// character, the sharing rules of the open file, cutting a file back, one
// directory level, rotation by renaming (with the log or a numbered file
// held by a reader), a log past 4 GiB, and the line header. Prints a PASS or FAIL line per
// check and a closing "SUMMARY: N passed, N failed" line; the exit code is 0
// when all passed. "logcheck.exe clock" checks only the header's clock (for a
// run under another time zone); "logcheck.exe bench [LINES]" measures instead
// (see Bench).
// Expects the Russian user locale of the test prefix (ANSI code page 1251).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "logging/logfile.h"
#include "logging/logger.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {
// Blocks taken through operator new (every std::string and vector), counted
// to show which lines are written without one.
std::atomic<long> GNewBlocks{0};
}  // namespace

void* operator new(std::size_t size) {
    GNewBlocks.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

int Passed = 0;
int Failed = 0;

bool Check(bool ok, const char* what, const std::string& detail = std::string()) {
    if (ok) {
        ++Passed;
        std::printf("PASS: %s\n", what);
        return true;
    }
    ++Failed;
    std::printf("FAIL: %s %s\n", what, detail.c_str());
    return false;
}

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string TempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH, buffer);
    std::u16string base(reinterpret_cast<char16_t*>(buffer), length);
    std::u16string folder = base + u"kelmor-logcheck-" + text::FromInt(GetCurrentProcessId()) + u"\\";
    CreateDirectoryW(W(folder), nullptr);
    return folder;
}

// The whole file, read the way another program would while the log is open.
std::string ReadShared(const std::u16string& path) {
    HANDLE h = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<cannot read>";
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(h);
    return content;
}

void WriteFileBytes(const std::u16string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

bool Exists(const std::u16string& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

// The text after "[date time] [thread] " of each line.
std::vector<std::string> Texts(const std::string& content) {
    std::vector<std::string> texts;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        size_t mark = line.find("] [");
        size_t close = mark == std::string::npos ? std::string::npos : line.find("] ", mark + 3);
        texts.push_back(close == std::string::npos ? line : line.substr(close + 2));
        start = end + 2;
    }
    return texts;
}

// The platform's files under a log file, with a clock that moves only when
// told (so that no check waits out the retry interval of a failed open).
class TManualClockFiles final : public ILogFileSystem {
public:
    uint64_t Now = 1000000;
    platform::FileHandle Open(const std::u16string& path) override { return P().Open(path); }
    int64_t SeekToEnd(platform::FileHandle h) override { return P().SeekToEnd(h); }
    size_t Write(platform::FileHandle h, const char* data, size_t size) override { return P().Write(h, data, size); }
    bool Truncate(platform::FileHandle h, int64_t size) override { return P().Truncate(h, size); }
    size_t ReadAt(platform::FileHandle h, int64_t offset, char* data, size_t size) override {
        return P().ReadAt(h, offset, data, size);
    }
    int64_t Size(platform::FileHandle h) override { return P().Size(h); }
    void Close(platform::FileHandle h) override { P().Close(h); }
    bool DirectoryExists(const std::u16string& path) override { return P().DirectoryExists(path); }
    bool FileExists(const std::u16string& path) override { return P().FileExists(path); }
    void MakeDirectory(const std::u16string& path) override { P().MakeDirectory(path); }
    void Remove(const std::u16string& path) override { P().Remove(path); }
    bool Rename(const std::u16string& from, const std::u16string& to) override { return P().Rename(from, to); }
    uint64_t MonotonicMilliseconds() override { return Now; }

private:
    static ILogFileSystem& P() { return PlatformLogFileSystem(); }
};

void CodePageAndHeader(const std::u16string& folder) {
    Check(GetACP() == 1251, "ANSI code page is 1251", std::to_string(GetACP()));
    std::u16string name = folder + u"cp.txt";
    TLogFile log;
    log.SetFileName(name);
    log.SetEnabled(true);
    // Cyrillic and the numero sign map; e-acute and a CJK character do not and
    // become the default character, not a look-alike.
    log.Info(u"Чек №1 é 中");
    log.SetEnabled(false);
    std::string content = ReadShared(name);
    std::string expected = "[ INFO] \xD7\xE5\xEA \xB9" "1 ? ?";
    std::vector<std::string> texts = Texts(content);
    Check(texts.size() == 1 && texts[0] == expected, "text in code page 1251", content);
    Check(content.size() >= 2 && content.compare(content.size() - 2, 2, "\r\n") == 0, "line ends with CR LF");

    char id[16];
    std::snprintf(id, sizeof id, "%.8lu", static_cast<unsigned long>(GetCurrentThreadId()));
    Check(content.find(std::string("] [") + id + "] ") == 24, "header carries the padded thread id", content);
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[16];
    std::snprintf(date, sizeof date, "[%.2d.%.2d.%.4d ", now.wDay, now.wMonth, now.wYear);
    Check(content.compare(0, 12, date) == 0, "header starts with the local date", content);
}

// The clock of the line header reads what GetLocalTime reads: each reading
// lies between two readings of GetLocalTime taken around it.
void ClockAgreesWithGetLocalTime() {
    auto order = [](int year, int month, int day, int hour, int minute, int second, int ms) {
        return ((((((static_cast<int64_t>(year) * 13 + month) * 32 + day) * 24 + hour) * 60 + minute) * 60 + second) *
                1000) + ms;
    };
    auto system = [&](const SYSTEMTIME& t) {
        return order(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    };
    int outside = 0;
    std::string first;
    for (int i = 0; i < 20000; ++i) {
        SYSTEMTIME before, after;
        GetLocalTime(&before);
        const platform::LocalDateTime ours = platform::LocalNow();
        GetLocalTime(&after);
        const int64_t value = order(ours.Year, ours.Month, ours.Day, ours.Hour, ours.Minute, ours.Second,
                                    ours.Millisecond);
        if (value < system(before) || value > system(after)) {
            if (++outside == 1) first = std::to_string(value) + " not within " + std::to_string(system(before)) + ".." +
                                        std::to_string(system(after));
        }
    }
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = GetTimeZoneInformation(&zone);
    const long bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0);
    Check(outside == 0,
          ("the header's clock reads the local time as GetLocalTime does (UTC" + std::string(bias > 0 ? "-" : "+") +
           std::to_string(std::labs(bias) / 60) + ":" + std::to_string(std::labs(bias) % 60 / 10) +
           std::to_string(std::labs(bias) % 10) + ")")
              .c_str(),
          first);
}

void Sharing(const std::u16string& folder) {
    std::u16string name = folder + u"shared.txt";
    TLogFile first;
    first.SetFileName(name);
    first.SetEnabled(true);
    first.Info(u"first");
    TManualClockFiles files;
    TLogFile second(files);
    second.SetFileName(name);
    second.SetEnabled(true);
    second.Info(u"second waits");
    Check(!second.IsOpenForTests() && second.WaitingLinesForTests() == 1, "second writer gets no file; its line waits");
    Check(Texts(ReadShared(name)) == std::vector<std::string>{"[ INFO] first"}, "reader reads while the log is open");
    first.SetEnabled(false);
    files.Now += TLogFile::OpenRetryMilliseconds;  // a failed open is tried again after the interval
    second.Info(u"second now");
    second.SetEnabled(false);
    Check(Texts(ReadShared(name)) ==
              std::vector<std::string>{"[ INFO] first", "[ INFO] second waits", "[ INFO] second now"},
          "second writer appends what waited, then its line, once the first let go");
}

// What the log uses to take a broken line off again, on Windows files: a
// read from a given place, and the file's end set back.
void CutBack(const std::u16string& folder) {
    const std::u16string name = folder + u"cut.txt";
    WriteFileBytes(name, "whole\r\nhalf a li");
    platform::FileHandle h = platform::OpenLogFile(name);
    if (!Check(h != platform::InvalidFileHandle, "the log file layer opens a file to cut")) return;
    char piece[16] = {};
    const size_t got = platform::ReadBytesAt(h, 7, piece, sizeof piece);
    Check(got == 9 && std::string(piece, got) == "half a li", "ReadBytesAt reads what is there from its place",
          std::string(piece, got));
    Check(platform::TruncateFile(h, 7) && platform::FileSize(h) == 7, "TruncateFile sets the end back");
    Check(platform::WriteBytes(h, "next\r\n", 6) == 6, "WriteBytes answers the bytes written");
    platform::CloseFileHandle(h);
    Check(ReadShared(name) == "whole\r\nnext\r\n", "the next line goes where the file was cut", ReadShared(name));
    DeleteFileW(W(name));
}

void Directories(const std::u16string& folder) {
    TLogFile log;
    log.SetEnabled(true);
    log.SetFileName(folder + u"sub\\log.txt");
    log.Info(u"one level");
    log.SetFileName(folder + u"a\\b\\log.txt");
    log.Info(u"two levels");
    log.SetEnabled(false);
    Check(Texts(ReadShared(folder + u"sub\\log.txt")) == std::vector<std::string>{"[ INFO] one level"},
          "one missing directory level is created");
    Check(!Exists(folder + u"a"), "a missing parent is not created");
}

// Opening the log turns the "no disk" dialogs off around the file calls and
// gives the host its own error mode back.
void HostErrorMode(const std::u16string& folder) {
    DWORD hostMode = SEM_NOGPFAULTERRORBOX;
    DWORD before = 0;
    SetThreadErrorMode(hostMode, &before);
    TLogFile log;
    log.SetEnabled(true);
    log.SetFileName(folder + u"mode\\log.txt");
    log.Info(u"written");
    log.SetFileName(u"q:\\missing\\log.txt");
    log.Info(u"dropped");
    log.SetEnabled(false);
    Check(GetThreadErrorMode() == hostMode, "the host's error mode is left as it was",
          std::to_string(GetThreadErrorMode()));
    Check(Texts(ReadShared(folder + u"mode\\log.txt")) == std::vector<std::string>{"[ INFO] written"},
          "the log is written with the dialogs turned off");
    SetThreadErrorMode(before, nullptr);
}

void Rotation(const std::u16string& folder) {
    std::u16string name = folder + u"rot.txt";
    WriteFileBytes(name + u".1.log", "one");
    WriteFileBytes(name + u".2.log", "two");
    WriteFileBytes(name + u".3.log", "three");
    WriteFileBytes(name, std::string(1048576, 'x'));
    TLogFile log;
    log.SetMaxFileSize(1);
    log.SetMaxFileCount(3);
    log.SetFileName(name);
    log.SetEnabled(true);
    log.Info(u"over");
    Check(ReadShared(name + u".3.log") == "two" && ReadShared(name + u".2.log") == "one",
          "numbered files shift and the oldest is dropped");
    Check(ReadShared(name + u".1.log").size() > 1048576, "the full file becomes .1.log");
    Check(ReadShared(name).empty() && log.IsOpenForTests(), "a new, empty file is open");

    // A reader holding .1.log open without delete sharing blocks the rename:
    // the log keeps appending to the same file.
    std::u16string held = folder + u"held.txt";
    WriteFileBytes(held + u".1.log", "held");
    WriteFileBytes(held, std::string(1048576, 'x'));
    HANDLE reader = CreateFileW(W(held + u".1.log"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    Check(reader != INVALID_HANDLE_VALUE, "reader holds .1.log");
    TLogFile blocked;
    blocked.SetMaxFileSize(1);
    blocked.SetMaxFileCount(1);
    blocked.SetFileName(held);
    blocked.SetEnabled(true);
    blocked.Info(u"a");
    blocked.Info(u"b");
    Check(blocked.IsOpenForTests(), "blocked rotation reopens the same file");
    std::vector<std::string> texts = Texts(ReadShared(held).substr(1048576));
    Check(texts == std::vector<std::string>{"[ INFO] a", "[ INFO] b"}, "blocked rotation appends");
    CloseHandle(reader);
    blocked.Info(u"c");
    Check(ReadShared(held).empty(), "rotation succeeds once the reader let go");
    blocked.SetEnabled(false);
    log.SetEnabled(false);
}

// The log itself held by a reader without delete sharing: it cannot be moved,
// so nothing else is touched however many lines go over the limit; once the
// reader lets go, one rotation.
void HeldLogRotation(const std::u16string& folder) {
    std::u16string name = folder + u"viewer.txt";
    WriteFileBytes(name + u".1.log", "one");
    WriteFileBytes(name + u".2.log", "two");
    WriteFileBytes(name + u".3.log", "three");
    const std::string full(1048576, 'x');
    WriteFileBytes(name, full);
    HANDLE viewer = CreateFileW(W(name), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    Check(viewer != INVALID_HANDLE_VALUE, "a viewer holds the log without delete sharing");
    TLogFile log;
    log.SetMaxFileSize(1);
    log.SetMaxFileCount(3);
    log.SetFileName(name);
    log.SetEnabled(true);
    const int lines = 12;
    for (int i = 0; i < lines; ++i) log.Info(u"held " + text::FromInt(i));
    Check(ReadShared(name + u".1.log") == "one" && ReadShared(name + u".2.log") == "two" &&
              ReadShared(name + u".3.log") == "three" && !Exists(name + u".rotating"),
          "lines over the limit of a held log leave every numbered file as it was");
    std::string content = ReadShared(name);
    std::vector<std::string> expected;
    for (int i = 0; i < lines; ++i) expected.push_back("[ INFO] held " + std::to_string(i));
    Check(content.compare(0, full.size(), full) == 0 && Texts(content.substr(full.size())) == expected,
          "a held log keeps every line");
    CloseHandle(viewer);
    DWORD hostMode = SEM_NOGPFAULTERRORBOX, before = 0;
    SetThreadErrorMode(hostMode, &before);
    log.Info(u"let go");
    Check(GetThreadErrorMode() == hostMode, "a rotation leaves the host's error mode as it was");
    SetThreadErrorMode(before, nullptr);
    expected.push_back("[ INFO] let go");
    std::string first = ReadShared(name + u".1.log");
    Check(first.size() > full.size() && first.compare(0, full.size(), full) == 0 &&
              Texts(first.substr(full.size())) == expected,
          "once the viewer lets go the log becomes .1.log with every line");
    Check(ReadShared(name + u".2.log") == "one" && ReadShared(name + u".3.log") == "two",
          "the numbered files shift once and only the oldest is dropped");
    Check(ReadShared(name).empty() && log.IsOpenForTests(), "a new, empty log is open");
    log.SetEnabled(false);
}

// A log just over 4 GiB (sparse: the test takes no disk for it). New lines
// go to its end and leave its first bytes alone; with a size limit, it is
// over any limit although the low 32 bits of its size are small.
void PastFourGigabytes(const std::u16string& folder) {
    const std::u16string name = folder + u"big.txt";
    const int64_t big = (int64_t{1} << 32) + 100;
    const std::string head = "HEAD OF THE LOG\r\n";
    HANDLE h = CreateFileW(W(name), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    DWORD written = 0;
    LARGE_INTEGER end;
    end.QuadPart = big;
    bool made = h != INVALID_HANDLE_VALUE && WriteFile(h, head.data(), static_cast<DWORD>(head.size()), &written, nullptr) &&
                SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!Check(made, "a sparse file of 4 GiB + 100 bytes")) {
        DeleteFileW(W(name));
        return;
    }
    {
        TLogFile log;
        log.SetFileName(name);
        log.SetEnabled(true);
        log.Info(u"past 4 GiB");
        log.SetEnabled(false);
    }
    HANDLE r = CreateFileW(W(name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    LARGE_INTEGER size = {};
    GetFileSizeEx(r, &size);
    char first[32] = {};
    DWORD got = 0;
    ReadFile(r, first, static_cast<DWORD>(head.size()), &got, nullptr);
    SetFilePointerEx(r, end, nullptr, FILE_BEGIN);
    char line[128] = {};
    DWORD lineGot = 0;
    ReadFile(r, line, sizeof line, &lineGot, nullptr);
    CloseHandle(r);
    Check(std::string(first, got) == head, "the first bytes of a log past 4 GiB are intact", std::string(first, got));
    Check(Texts(std::string(line, lineGot)) == std::vector<std::string>{"[ INFO] past 4 GiB"} &&
              size.QuadPart == big + static_cast<int64_t>(lineGot),
          "the line is appended at 4 GiB + 100", std::to_string(size.QuadPart));

    {
        TLogFile log;
        log.SetMaxFileSize(1);
        log.SetMaxFileCount(1);
        log.SetFileName(name);
        log.SetEnabled(true);
        log.Info(u"over the limit");
        log.SetEnabled(false);
    }
    Check(Exists(name + u".1.log") && Texts(ReadShared(name)).empty(),
          "a log past 4 GiB is over a limit of 1 MB (sizes compared in 64 bits)");
    DeleteFileW(W(name + u".1.log"));
    DeleteFileW(W(name));
}

// The conversion into a buffer gives the bytes of the system's conversion
// with WC_NO_BEST_FIT_CHARS, for every UTF-16 unit and for pairs.
void AnsiConversion() {
    auto system = [](const std::u16string& s) {
        int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(s.data()),
                                    static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
        std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
        if (n > 0)
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(s.data()),
                                static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
        return out;
    };
    auto ours = [](const std::u16string& s) {
        std::vector<char> buffer(s.size() * 4 + 16);
        size_t length = 0;
        if (!platform::ToAnsi(s.data(), s.size(), buffer.data(), buffer.size(), length)) return std::string("<no fit>");
        return std::string(buffer.data(), length);
    };
    int mismatches = 0;
    std::string first;
    std::u16string every;
    for (uint32_t c = 1; c <= 0xFFFF; ++c) {
        const std::u16string one(1, static_cast<char16_t>(c));
        every += one;
        if (ours(one) != system(one) || platform::ToAnsi(one) != system(one)) {
            if (++mismatches == 1) first = "U+" + std::to_string(c);
        }
    }
    Check(mismatches == 0, "every UTF-16 unit converts as WideCharToMultiByte with WC_NO_BEST_FIT_CHARS does",
          std::to_string(mismatches) + " mismatches, first " + first);
    const std::u16string mixed = u"Чек №1 é 中 \U0001F600 ₽ «Ромашка» — ok" + every;
    Check(ours(mixed) == system(mixed) && platform::ToAnsi(mixed) == system(mixed),
          "a long mixed text with pairs converts alike");
    // ASCII goes a few units at a time: one unit that is not ASCII (in
    // either of its bytes) at each place of texts of each short length.
    int wrong = 0;
    for (char16_t odd : {u'\u0080', u'\u00FF', u'\u0100', u'\u7F41', u'Ж', u'\uFF00'}) {
        for (size_t n = 1; n <= 13; ++n) {
            for (size_t at = 0; at <= n; ++at) {
                std::u16string t;
                for (size_t i = 0; i < n; ++i) t += static_cast<char16_t>(u'a' + i);
                if (at < n) t[at] = odd;
                if (ours(t) != system(t)) ++wrong;
            }
        }
    }
    Check(wrong == 0, "short texts with one unit that is not ASCII, at each place, convert alike",
          std::to_string(wrong) + " differ");
    char small[4];
    size_t length = 0;
    Check(!platform::ToAnsi(mixed.data(), mixed.size(), small, sizeof small, length),
          "a text that does not fit the buffer is refused");
}

void LoggerDump(const std::u16string& folder) {
    std::u16string name = folder + u"dump.txt";
    ResetLogFileForTests();
    GetLogFile().SetFileName(name);
    GetLogFile().SetEnabled(true);
    TLogger logger(u"TDriver30");
    logger.WriteTxData(std::string("\x01\xAB\xFF", 3));
    logger.WriteSeparator();
    ResetLogFileForTests();
    Check(Texts(ReadShared(name)) ==
              std::vector<std::string>{"[DEBUG] TDriver30 -> 01 AB FF",
                                       "[ INFO] TDriver30 ------------------------------------------------------------"},
          "logger lines", ReadShared(name));
}


// A trace line of the add-in (a logger's name, then its message in parts,
// a number among them) is written with the log on without a block of the
// heap: nothing put together, the bytes built on the stack.
void LoggerLineWithoutHeap(const std::u16string& folder) {
    std::u16string name = folder + u"pieces.txt";
    ResetLogFileForTests();
    GetLogFile().SetFileName(name);
    GetLogFile().SetEnabled(true);
    TLogger logger(u"TExtention30");
    logger.Debug({u"Open"});  // opens the file
    const long before = GNewBlocks.load();
    for (int i = 0; i < 100; ++i) logger.Debug({u"ProcessCheck", u" ParamCount = ", text::TDecimal(i).View()});
    logger.Debug({u"Close: ", u"Касса №1"});
    const long blocks = GNewBlocks.load() - before;
    ResetLogFileForTests();
    Check(blocks == 0, "a logger's line in parts, with a number, takes no block of the heap",
          std::to_string(blocks) + " blocks for 101 lines");
    const std::vector<std::string> texts = Texts(ReadShared(name));
    Check(texts.size() == 102 && texts[1] == "[DEBUG] TExtention30 ProcessCheck ParamCount = 0" &&
              texts[100] == "[DEBUG] TExtention30 ProcessCheck ParamCount = 99" &&
              texts[101] == std::string("[DEBUG] TExtention30 Close: ") + "\xCA\xE0\xF1\xF1\xE0 \xB9" + "1",
          "those lines as written (code page 1251)");
}

// --- Measuring mode ----------------------------------------------------------------

int64_t NowNs() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<int64_t>(static_cast<double>(counter.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// "logcheck.exe bench [LINES]": the cost of one log line, side by side in one
// run: the floor (a clock reading and one WriteFile of an 81-byte line to the
// same drive), TLogFile::Debug with the log on and off, and a named logger's
// Debug with the log on, its message whole and in parts. Many short rounds,
// each measuring every kind one after the other; the figures are medians
// over the rounds, the ratios the
// medians of each round's own ratios (so that load from elsewhere on the
// machine weighs on both sides alike). Prints figures only; asserts nothing.
int Bench(const std::u16string& folder, int lines) {
    const int rounds = 201;
    // Header 37 + tag 8 + text 34 + CR LF 2 = 81 bytes.
    const std::u16string text = u"TExtention30 Beep ParamCount = 0 .";
    const std::u16string loggerText = u"Beep ParamCount = 0 .";  // "TExtention30 " in front: the same 34
    const std::u16string cyrillic = u"TExtention30 Подключить Параметры.";
    std::string floorLine = "[05.03.2024 14:07:09.042] [00004712] [DEBUG] TExtention30 Beep ParamCount = 0 .\r\n";

    const std::u16string floorName = folder + u"bench-floor.txt";
    const std::u16string logName = folder + u"bench-log.txt";
    HANDLE floorFile = CreateFileW(W(floorName), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (floorFile == INVALID_HANDLE_VALUE) {
        std::printf("bench: cannot open %s\n", text::ToUtf8(floorName).c_str());
        return 1;
    }
    ResetLogFileForTests();
    TLogFile& log = GetLogFile();
    log.SetFileName(logName);
    TLogger logger(u"TExtention30");

    enum { Floor, On, Cyrillic, Logger, Parts, Off, Kinds };
    const char* names[Kinds] = {"floor (clock + WriteFile)", "TLogFile::Debug, log on", "  the same, Cyrillic text",
                                "TLogger::Debug, log on", "  the same, in parts",  "TLogFile::Debug, log off"};
    std::vector<double> ns[Kinds], ratio[Kinds];
    for (int r = 0; r < rounds; ++r) {
        double round[Kinds];
        int64_t start = NowNs();
        for (int i = 0; i < lines; ++i) {
            SYSTEMTIME now;
            GetLocalTime(&now);
            DWORD written = 0;
            WriteFile(floorFile, floorLine.data(), static_cast<DWORD>(floorLine.size()), &written, nullptr);
        }
        round[Floor] = static_cast<double>(NowNs() - start) / lines;

        log.SetEnabled(true);
        log.Debug(text);  // opens the file outside the measured loop
        start = NowNs();
        for (int i = 0; i < lines; ++i) log.Debug(text);
        round[On] = static_cast<double>(NowNs() - start) / lines;

        start = NowNs();
        for (int i = 0; i < lines; ++i) log.Debug(cyrillic);
        round[Cyrillic] = static_cast<double>(NowNs() - start) / lines;

        start = NowNs();
        for (int i = 0; i < lines; ++i) logger.Debug(loggerText);
        round[Logger] = static_cast<double>(NowNs() - start) / lines;

        // As the add-in traces a call: the message in parts, the count a number.
        start = NowNs();
        for (int i = 0; i < lines; ++i) logger.Debug({u"Beep", u" ParamCount = ", text::TDecimal(0).View(), u" ."});
        round[Parts] = static_cast<double>(NowNs() - start) / lines;

        log.SetEnabled(false);
        start = NowNs();
        for (int i = 0; i < lines; ++i) log.Debug(text);
        round[Off] = static_cast<double>(NowNs() - start) / lines;

        for (int k = 0; k < Kinds; ++k) {
            ns[k].push_back(round[k]);
            ratio[k].push_back(round[k] / round[Floor]);
        }
    }
    CloseHandle(floorFile);
    std::string sample = ReadShared(logName);
    size_t firstEnd = sample.find("\r\n");
    ResetLogFileForTests();

    std::printf("bench: %d rounds of %d lines of each kind; medians\n", rounds, lines);
    std::printf("bench: log line length %u bytes (floor line %u bytes)\n",
                static_cast<unsigned>(firstEnd == std::string::npos ? 0 : firstEnd + 2),
                static_cast<unsigned>(floorLine.size()));
    for (int k = 0; k < Kinds; ++k)
        std::printf("bench: %-28s %8.1f ns  %6.3fx floor\n", names[k], Median(ns[k]), Median(ratio[k]));
    DeleteFileW(W(floorName));
    DeleteFileW(W(logName));
    return 0;
}

void RemoveFolder(const std::u16string& folder) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(W(folder + u"*"), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::u16string entry(reinterpret_cast<char16_t*>(found.cFileName));
            if (entry == u"." || entry == u"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolder(folder + entry + u"\\");
            else
                DeleteFileW(W(folder + entry));
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(W(folder));
}

}  // namespace

int main(int argc, char** argv) {
    std::u16string folder = TempFolder();
    if (argc >= 2 && std::strcmp(argv[1], "clock") == 0) {
        // Only the clock, for a run under another time zone.
        ClockAgreesWithGetLocalTime();
        CodePageAndHeader(folder);
        RemoveFolder(folder);
        std::printf("SUMMARY: %d passed, %d failed\n", Passed, Failed);
        return Failed == 0 ? 0 : 1;
    }
    if (argc >= 2 && std::strcmp(argv[1], "bench") == 0) {
        int lines = argc >= 3 ? std::atoi(argv[2]) : 250;
        int rc = Bench(folder, lines > 0 ? lines : 250);
        RemoveFolder(folder);
        return rc;
    }
    CodePageAndHeader(folder);
    ClockAgreesWithGetLocalTime();
    Sharing(folder);
    CutBack(folder);
    Directories(folder);
    HostErrorMode(folder);
    Rotation(folder);
    HeldLogRotation(folder);
    PastFourGigabytes(folder);
    AnsiConversion();
    LoggerDump(folder);
    LoggerLineWithoutHeap(folder);
    RemoveFolder(folder);
    std::printf("SUMMARY: %d passed, %d failed\n", Passed, Failed);
    return Failed == 0 ? 0 : 1;
}
