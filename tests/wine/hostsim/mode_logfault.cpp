// hostsim logfault <KelmorTarvik1CNative.dll>
//
// The add-in's log on a drive E: that fills up, has space again, grows, and
// fills up once more at unload. Drive E: must be a small file system of its
// own (45-logfault.suite mounts a tmpfs of a few hundred KB over it, and
// grows it when the program asks, see below). The lines are the product's
// own: the host asks for method names by index (GetMethodName), which
// switches the log on and writes "[DEBUG] _GetMethodName <index>"; indexes
// past the class's methods number the lines, so the file shows which ones
// are there. After each step e:\lll.txt is read back: every line whole (its
// header, a known text, CR LF), in the order written, and none missing
// except those that a notice in the file says were lost.
//
//   1. A filler leaves a little room; 2,000 lines fill the disk.
//   2. The filler is deleted; after the pause of a failed write, 1,000 more
//      lines: everything waiting reaches the file first.
//   3. A second filler leaves less room; 13,000 lines: more than the 10,000
//      that can wait, so the oldest are lost.
//   4. The program asks for a bigger drive: it deletes e:\grow.wait (made at
//      the start, while there was room), and the suite remounts the tmpfs
//      bigger and creates e:\grow.done. After the pause, one line: the
//      notice, the 10,000 that waited, and the line.
//   5. A third filler takes every byte left; of 200 lines, those that the
//      drive's last page of the log does not take wait; the filler is
//      deleted and the library unloaded at once, with no line after: the
//      unload writes them.
//
// Prints PASS/FAIL lines and "SUMMARY: N passed, N failed"; the exit code is
// the number of failures.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/wine/hostsim/hostlib.h"
#include "tests/wine/hostsim/product_support.h"

namespace {

using namespace hostsim;
using namespace hostsim::product;

const wchar_t* const FillerPath = L"e:\\filler.bin";
const wchar_t* const GrowWaitPath = L"e:\\grow.wait";
const wchar_t* const GrowDonePath = L"e:\\grow.done";
// Numbers of the lines: past any method index, all of one length.
const int32_t FirstNumber = 100000;
// The pause after a failed write, and a margin.
const DWORD PauseMs = 1000 + 250;

const std::u16string LostPrefix = u"[ERROR] Потеряно строк журнала: ";
const std::u16string LostSuffix = u" (файл журнала был недоступен или на диске не было места)";

// What the file holds, checked line by line.
struct TLogState {
    bool Whole = true;       // every line has a header and a known text and ends with CR LF
    bool InOrder = true;     // every gap is one that a notice accounts for
    int64_t Lines = 0;       // numbered lines in the file
    int64_t Next = 0;        // the number the next line would carry
    int64_t Lost = 0;        // lines the notices say were lost
    int Notices = 0;
    int64_t Bytes = 0;
    std::string Problem;     // the first thing wrong
};

void Problem(TLogState& s, const std::string& what) {
    if (s.Problem.empty()) s.Problem = what;
}

TLogState ReadLog() {
    TLogState s;
    std::string bytes;
    if (!ReadFileBytes(LogPath, bytes)) {
        s.Whole = false;
        Problem(s, "e:\\lll.txt cannot be read");
        return s;
    }
    s.Bytes = static_cast<int64_t>(bytes.size());
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            s.Whole = false;
            Problem(s, "a piece of a line at the end: \"" + bytes.substr(start) + "\"");
            break;
        }
        const std::string line = bytes.substr(start, end - start);
        start = end + 2;
        const size_t mark = line.find("] [");
        const size_t close = mark == std::string::npos ? std::string::npos : line.find("] ", mark + 3);
        std::string why;
        if (close == std::string::npos || !TLogReader::HeaderOk(line.substr(0, close + 2), why)) {
            s.Whole = false;
            Problem(s, "a line without its header (" + why + "): \"" + line + "\"");
            continue;
        }
        const std::u16string text = FromCodePage1251(line.substr(close + 2));
        const std::u16string traced = u"[DEBUG] _GetMethodName ";
        if (text.compare(0, traced.size(), traced) == 0) {
            const int64_t number = std::stoll(Utf8(text.substr(traced.size()))) - FirstNumber;
            if (Utf16(std::to_string(number + FirstNumber)) != text.substr(traced.size())) {
                s.Whole = false;
                Problem(s, "a broken line: \"" + line + "\"");
                continue;
            }
            if (number != s.Next) {
                s.InOrder = false;
                Problem(s, "line " + std::to_string(number) + " where " + std::to_string(s.Next) + " was due");
            }
            s.Next = number + 1;
            ++s.Lines;
        } else if (text.size() > LostPrefix.size() + LostSuffix.size() &&
                   text.compare(0, LostPrefix.size(), LostPrefix) == 0 &&
                   text.compare(text.size() - LostSuffix.size(), LostSuffix.size(), LostSuffix) == 0) {
            const std::u16string count = text.substr(LostPrefix.size(), text.size() - LostPrefix.size() - LostSuffix.size());
            const int64_t lost = std::stoll(Utf8(count));
            s.Lost += lost;
            s.Next += lost;
            ++s.Notices;
        } else {
            s.Whole = false;
            Problem(s, "an unknown line: \"" + line + "\"");
        }
    }
    return s;
}

std::string Describe(const TLogState& s) {
    return std::to_string(s.Lines) + " lines, " + std::to_string(s.Notices) + " notices of " +
           std::to_string(s.Lost) + " lost, next " + std::to_string(s.Next) + ", " + std::to_string(s.Bytes) +
           " bytes" + (s.Problem.empty() ? std::string() : "; " + s.Problem);
}

// Fills drive E: with a filler file until a write fails, then gives back the
// last `room` bytes. Answers the filler's size (-1 when it cannot be made,
// and why).
int64_t Fill(int64_t room, std::string& why) {
    HANDLE h = CreateFileW(FillerPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        why = "CreateFileW: error " + std::to_string(GetLastError());
        return -1;
    }
    static char block[65536];
    int64_t size = 0;
    for (DWORD chunk : {static_cast<DWORD>(sizeof block), DWORD{4096}, DWORD{512}, DWORD{1}}) {
        for (;;) {
            DWORD written = 0;
            if (!WriteFile(h, block, chunk, &written, nullptr) || written == 0) break;
            size += written;
            if (written < chunk) break;
        }
    }
    LARGE_INTEGER at;
    at.QuadPart = size > room ? size - room : 0;
    const bool ok = room == 0 || (SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    if (!ok) why = "SetEndOfFile: error " + std::to_string(GetLastError());
    CloseHandle(h);
    why += " (" + std::to_string(size) + " bytes written)";
    return ok ? at.QuadPart : -1;
}

bool SmallDriveE(std::string& why) {
    ULARGE_INTEGER free, total;
    if (!GetDiskFreeSpaceExW(L"e:\\", &free, &total, nullptr)) {
        why = "GetDiskFreeSpaceExW(e:) failed";
        return false;
    }
    why = std::to_string(total.QuadPart / 1024) + " KB, " + std::to_string(free.QuadPart / 1024) + " KB free";
    return total.QuadPart <= 1024 * 1024;
}

// The file once everything went: every line written is there, or counted as
// lost.
void CheckEverything(TCheckList& c, const std::string& step, int64_t written, int64_t expectedLost) {
    const TLogState s = ReadLog();
    c.Check(s.Whole && s.InOrder, step + ": only whole lines, in order", Describe(s));
    c.Equal(s.Next, written, step + ": the file accounts for every line written");
    c.Equal(s.Lost, expectedLost, step + ": lines the file says were lost");
    c.Equal(s.Lines, written - expectedLost, step + ": lines in the file");
    Say("  %s: %lld lines written, %lld expected in the file, %lld there; %lld lost expected, %lld said lost\n",
        step.c_str(), static_cast<long long>(written), static_cast<long long>(written - expectedLost),
        static_cast<long long>(s.Lines), static_cast<long long>(expectedLost), static_cast<long long>(s.Lost));
}

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

class TRun {
public:
    TRun(TCheckList& c, THostObject& obj) : C(c), Obj(obj) {}

    // Lines [Written, Written + count).
    void Lines(int count) {
        for (int i = 0; i < count; ++i) Obj.GetMethodName(FirstNumber + static_cast<int32_t>(Written++), 0);
    }

    // The file while lines wait: whole lines, in order, none lost, fewer
    // than written.
    TLogState CheckWhileFull(const std::string& step, int64_t lostBefore) {
        const TLogState s = ReadLog();
        C.Check(s.Whole && s.InOrder, step + ": only whole lines, in order", Describe(s));
        C.Check(s.Next < Written && s.Lines > 0, step + ": the disk filled before the last line",
                Describe(s) + " of " + std::to_string(Written) + " written");
        C.Equal(s.Lost, lostBefore, step + ": lines lost so far");
        Say("  %s: %lld lines written, %lld in the file (%lld bytes), %lld waiting or lost\n", step.c_str(),
            static_cast<long long>(Written), static_cast<long long>(s.Lines), static_cast<long long>(s.Bytes),
            static_cast<long long>(Written - s.Next));
        return s;
    }

    void CheckAll(const std::string& step, int64_t expectedLost) { CheckEverything(C, step, Written, expectedLost); }

    int64_t Written = 0;

private:
    TCheckList& C;
    THostObject& Obj;
};

int Run(const std::vector<std::wstring>& args) {
    TCheckList c;
    if (args.size() != 1) {
        Say("usage: hostsim logfault <KelmorTarvik1CNative.dll>\n");
        return 2;
    }
    std::string why;
    if (!c.Check(SmallDriveE(why), "drive E: is a small file system of its own", why)) return c.Summary();
    DeleteFileW(LogPath);
    HANDLE wait = CreateFileW(GrowWaitPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    c.Check(wait != INVALID_HANDLE_VALUE, "e:\\grow.wait made");
    CloseHandle(wait);

    THostLibrary lib;
    if (!c.Check(lib.Load(args[0]), "LoadLibraryW and the three exports", lib.Error())) return c.Summary();
    int64_t written = 0, expectedLost = 0;
    {
        THostSession host;
        THostObject obj(lib);
        if (!c.Check(obj.Create(u"KelmorTarvik1C4") == 1 && obj.Valid() && obj.Init(host.Connection.Connection()) &&
                         obj.SetMemManager(host.Memory.Manager()),
                     "the component object is made"))
            return c.Summary();
        TRun run(c, obj);

        c.Section("1. the disk fills up while lines are written");
        c.Check(Fill(24 * 1024, why) > 0, "a filler leaves 24 KB of the drive", why);
        run.Lines(2000);
        run.CheckWhileFull("full", 0);

        c.Section("2. space again: the filler goes");
        c.Check(DeleteFileW(FillerPath) != 0, "the filler is deleted");
        Sleep(PauseMs);
        run.Lines(1000);
        run.CheckAll("space again", 0);

        c.Section("3. full again, and more lines than can wait");
        c.Check(Fill(8 * 1024, why) > 0, "a second filler leaves 8 KB", why);
        run.Lines(13000);
        const TLogState full = run.CheckWhileFull("full, past the bound", 0);
        expectedLost = run.Written - full.Next - 10000;

        c.Section("4. the drive grows");
        c.Check(DeleteFileW(GrowWaitPath) != 0, "e:\\grow.wait deleted: asking for a bigger drive");
        for (int i = 0; i < 300 && !Exists(GrowDonePath); ++i) Sleep(100);
        if (c.Check(Exists(GrowDonePath), "the drive was grown (e:\\grow.done)")) {
            Sleep(PauseMs);
            run.Lines(1);
            run.CheckAll("grown", expectedLost);
        }

        c.Section("5. unload with lines waiting");
        c.Check(Fill(0, why) > 0, "a third filler takes every byte left", why);
        // (The log's last page of the drive may still take a few dozen.)
        run.Lines(200);
        run.CheckWhileFull("full at unload", expectedLost);
        c.Check(DeleteFileW(FillerPath) != 0, "the filler is deleted, and at once the library unloaded");
        c.Equal(obj.Destroy(), 0, "DestroyObject");
        written = run.Written;
    }
    lib.Unload();
    CheckEverything(c, "unloaded", written, expectedLost);
    DeleteFileW(LogPath);
    DeleteFileW(GrowDonePath);
    return c.Summary();
}

const THostMode Mode("logfault", "<KelmorTarvik1CNative.dll>   the log on a drive E: that fills up and has space again",
                     &Run);

}  // namespace
