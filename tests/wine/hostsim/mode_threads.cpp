// hostsim threads <KelmorTarvik1CNative.dll> <fakedriver.dll> [CALLS]
//
// Four hosts' threads at once, as a host that runs several tills in one
// process does: each thread initialises COM as its own single-threaded
// apartment, makes its own component object with its own memory manager and
// connection, asks for a method name (which switches the log on) and calls
// ProcessCheck CALLS times (default 300) against the fiscal driver's test
// double (registered with regsvr32 for the run). All threads start together,
// so that their first lines race to open the log. Then e:\lll.txt is read back: every line whole (header,
// level tag and a known text, in code page 1251), none lost, none doubled,
// and for each thread exactly the lines of its own calls, carrying its own
// thread identifier. Prints PASS/FAIL lines and "SUMMARY: N passed, N
// failed"; the exit code is the number of failures.
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/wine/hostsim/hostlib.h"
#include "tests/wine/hostsim/product_support.h"

namespace {

using namespace hostsim;
using namespace hostsim::product;

const int Threads = 4;
const int32_t ProcessCheckIndex = 22;

const std::u16string Package =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><CheckPackage><Parameters CashierName=\"Иванова Мария\" "
    u"OperationType=\"1\" TaxationSystem=\"0\"/><Positions><FiscalString Name=\"Молоко 3,2% 1 л\" "
    u"Quantity=\"2\" PriceWithDiscount=\"89.90\" AmountWithDiscount=\"179.80\" VATRate=\"10\"/></Positions>"
    u"<Payments Cash=\"179.80\"/></CheckPackage>";

// The device of thread t: its own text, so that each adapter line tells
// which thread's call wrote it.
std::u16string DeviceOf(int t) { return u"ККТ-" + Utf16(std::to_string(t + 1)); }

struct TWorker {
    int Index = 0;
    int Calls = 0;
    HMODULE Module = nullptr;
    THostLibrary* Library = nullptr;
    std::atomic<int>* Ready = nullptr;
    // Results, read by the main thread after the join.
    DWORD ThreadId = 0;
    bool ComOk = false;
    bool Created = false;
    int Answered = 0;       // calls that answered true with RetValue true
    int Found = 0;          // FindMethod answered ProcessCheck's index
    std::string Problem;    // the first thing that went wrong
    size_t LiveBlocks = 0;  // host memory left after the object is gone
    size_t BadFrees = 0;
};

void Note(TWorker& w, const std::string& problem) {
    if (w.Problem.empty()) w.Problem = problem;
}

DWORD WINAPI WorkerMain(void* parameter) {
    TWorker& w = *static_cast<TWorker*>(parameter);
    w.ThreadId = GetCurrentThreadId();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    w.ComOk = SUCCEEDED(com);
    {
        THostSession host;
        THostObject obj(*w.Library);
        w.Created = obj.Create(u"KelmorTarvik1C4") == 1 && obj.Valid() && obj.Init(host.Connection.Connection()) &&
                    obj.SetMemManager(host.Memory.Manager());
        if (w.Created)
            obj.SetLocale(u"ru_RU");
        else
            Note(w, "object not made");
        // Everyone starts together: the first lines race to open the log.
        w.Ready->fetch_add(1);
        while (w.Ready->load() < Threads) Sleep(0);
        // The host asks for a name: this switches the log on.
        if (w.Created && obj.GetMethodName(ProcessCheckIndex, 0) != u"ProcessCheck") Note(w, "GetMethodName(22)");
        for (int i = 0; w.Created && i < w.Calls; ++i) {
            const int32_t found = obj.FindMethod(i % 2 == 0 ? u"ProcessCheck" : u"СформироватьЧек");
            if (found == ProcessCheckIndex) ++w.Found;
            std::vector<V8Variant> params = {host.Text(DeviceOf(w.Index)), fakehost::Bool(false), host.Text(Package),
                                             host.Text(u"прежнее значение")};
            V8Variant result = fakehost::I4(-1);
            const bool ok = obj.CallAsFunc(ProcessCheckIndex, result, params.data(), 4);
            if (ok && result.vt == VTYPE_BOOL && result.VarEnum.bVal)
                ++w.Answered;
            else
                Note(w, "call " + std::to_string(i) + ": " + (ok ? "" : "answered false, ") + Describe(result));
            host.Release(result);
            host.Release(params);
        }
        obj.Destroy();
        w.LiveBlocks = host.Memory.LiveBlocks();
        w.BadFrees = host.Memory.BadFrees();
    }
    if (w.ComOk) CoUninitialize();
    return 0;
}

// One line of the log: its header's thread identifier and its text (level
// tag included), or what is wrong with it.
struct TLine {
    bool Whole = false;
    std::string Why;
    DWORD Thread = 0;
    std::u16string Text;
};

bool Digits(const std::string& s, size_t from, size_t count) {
    if (from + count > s.size()) return false;
    for (size_t i = from; i < from + count; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

TLine ParseLine(const std::string& bytes) {
    TLine line;
    // "[DD.MM.YYYY hh:mm:ss.zzz] [TTTTTTTT] [LEVEL] text"
    const bool stamp = bytes.size() > 27 && bytes[0] == '[' && Digits(bytes, 1, 2) && bytes[3] == '.' &&
                       Digits(bytes, 4, 2) && bytes[6] == '.' && Digits(bytes, 7, 4) && bytes[11] == ' ' &&
                       Digits(bytes, 12, 2) && bytes[14] == ':' && Digits(bytes, 15, 2) && bytes[17] == ':' &&
                       Digits(bytes, 18, 2) && bytes[20] == '.' && Digits(bytes, 21, 3) && bytes[24] == ']' &&
                       bytes[25] == ' ' && bytes[26] == '[';
    if (!stamp) {
        line.Why = "no time stamp";
        return line;
    }
    size_t close = bytes.find(']', 27);
    if (close == std::string::npos || close - 27 < 8 || !Digits(bytes, 27, close - 27) || bytes.size() < close + 2 ||
        bytes[close + 1] != ' ') {
        line.Why = "no thread identifier";
        return line;
    }
    line.Thread = static_cast<DWORD>(std::strtoul(bytes.substr(27, close - 27).c_str(), nullptr, 10));
    line.Text = FromCodePage1251(bytes.substr(close + 2));
    line.Whole = true;
    return line;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() < 2 || args.size() > 3) {
        Say("usage: hostsim threads <KelmorTarvik1CNative.dll> <fakedriver.dll> [CALLS]\n");
        return 2;
    }
    const int calls = args.size() == 3 ? _wtoi(args[2].c_str()) : 300;
    TCheckList C;
    C.Section("four threads, each with its own apartment and object, calling ProcessCheck");
    const int rc = RunRegsvr32(args[1], false);
    if (!C.Check(rc == 0 && DriverClassRegistered(), "regsvr32 " + Utf8(args[1]), "exit code " + std::to_string(rc)))
        return C.Summary();

    std::string before;
    ReadFileBytes(LogPath, before);  // lines already there are not this run's
    {
        THostLibrary lib;
        if (!C.Check(lib.Load(args[0]), "LoadLibraryW and the three exports of " + Utf8(args[0]), lib.Error())) {
            RunRegsvr32(args[1], true);
            return C.Summary();
        }
        std::atomic<int> ready{0};
        TWorker workers[Threads];
        HANDLE handles[Threads] = {};
        for (int t = 0; t < Threads; ++t) {
            workers[t].Index = t;
            workers[t].Calls = calls;
            workers[t].Library = &lib;
            workers[t].Ready = &ready;
            handles[t] = CreateThread(nullptr, 0, &WorkerMain, &workers[t], 0, nullptr);
            if (!handles[t]) {
                // A thread that never came counts as ready, so the others go on.
                Note(workers[t], "thread not started");
                ready.fetch_add(1);
            }
        }
        for (int t = 0; t < Threads; ++t) {
            if (!handles[t]) continue;
            WaitForSingleObject(handles[t], INFINITE);
            CloseHandle(handles[t]);
        }
        for (const TWorker& w : workers) {
            const std::string who = "thread " + std::to_string(w.Index + 1);
            C.Check(w.ComOk && w.Created, who + ": its own apartment (CoInitializeEx) and component object");
            C.Check(w.Problem.empty() && w.Answered == calls && w.Found == calls,
                    who + ": " + std::to_string(calls) + " ProcessCheck calls found by name and answered true",
                    std::to_string(w.Answered) + " answered, " + std::to_string(w.Found) + " found; " + w.Problem);
            C.Check(w.LiveBlocks == 0 && w.BadFrees == 0, who + ": host memory balanced",
                    std::to_string(w.LiveBlocks) + " live block(s), " + std::to_string(w.BadFrees) + " bad free(s)");
        }
        lib.Unload();

        // The log, as written by all four at once.
        std::string all;
        C.Check(ReadFileBytes(LogPath, all) && all.size() > before.size() &&
                    all.compare(0, before.size(), before) == 0,
                "the log e:\\lll.txt was written after what it held");
        const std::string bytes = all.size() > before.size() ? all.substr(before.size()) : std::string();
        C.Check(bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0, "the log ends with a whole line");

        std::map<DWORD, int> threadOf;  // thread identifier -> worker
        for (const TWorker& w : workers) threadOf[w.ThreadId] = w.Index;
        std::map<std::u16string, int> counts[Threads];
        int broken = 0, strangers = 0, lines = 0;
        std::string firstBroken;
        size_t start = 0;
        while (start < bytes.size()) {
            size_t end = bytes.find("\r\n", start);
            if (end == std::string::npos) end = bytes.size();
            const std::string raw = bytes.substr(start, end - start);
            start = end + 2;
            ++lines;
            TLine line = ParseLine(raw);
            if (!line.Whole) {
                if (++broken == 1) firstBroken = line.Why + ": " + raw.substr(0, 80);
                continue;
            }
            auto owner = threadOf.find(line.Thread);
            if (owner == threadOf.end()) {
                ++strangers;
                continue;
            }
            ++counts[owner->second][line.Text];
        }
        C.Check(broken == 0, "every line whole: header, thread identifier, text (" + std::to_string(lines) + " lines)",
                std::to_string(broken) + " broken, first: " + firstBroken);
        C.Check(strangers == 0, "every line carries the identifier of one of the four threads",
                std::to_string(strangers) + " line(s) of another thread");

        // Each thread: its name look-up, two look-up lines per call (the
        // host's FindMethod and the dispatcher's), the handler's trace and
        // the adapter's line with its own device.
        for (const TWorker& w : workers) {
            const std::map<std::u16string, int> expected = {
                {u"[DEBUG] _GetMethodName 22", 1},
                {u"[DEBUG] _FindMethod: 22", 2 * calls},
                {u"[DEBUG] TExtention30 ProcessCheck ParamCount = 4", calls},
                {u"[DEBUG] TDriver30 ProcessCheck " + DeviceOf(w.Index), calls},
            };
            std::string got;
            for (const auto& kind : counts[w.Index])
                got += (got.empty() ? "" : "; ") + Utf8(kind.first) + " x" + std::to_string(kind.second);
            C.Check(counts[w.Index] == expected,
                    "thread " + std::to_string(w.Index + 1) + ": exactly the lines of its own calls, none lost",
                    got);
        }
    }
    const int un = RunRegsvr32(args[1], true);
    C.Check(un == 0 && !DriverClassRegistered(), "regsvr32 /u " + Utf8(args[1]), "exit code " + std::to_string(un));
    return C.Summary();
}

const hostsim::THostMode Mode("threads",
                              "<KelmorTarvik1CNative.dll> <fakedriver.dll> [CALLS]   four threads logging at once",
                              &Run);

}  // namespace
