// hostsim bench <KelmorTarvik1CNative.dll> <fakedriver.dll> [short]
//
// What the add-in itself costs a till, printed side by side in one process
// run. The fiscal driver's test double is registered with regsvr32 for the
// run (and unregistered at its end) and steered to answer at once
// (KELMOR_FAKEDRIVER_QUICK), so that what is left is our share of the road.
// The host's memory manager is the process heap (HeapAlloc / HeapFree).
//
//   direct       ProcessCheck called straight on the double's ITarvik1C30
//                slot (CoCreateInstance, then the slot), with a 4,096-unit
//                Cyrillic package: the floor. The in-texts are BSTRs made
//                once; the out-text is freed after each call. Beside it, for
//                comparison, the same call by a caller that makes its
//                in-texts into BSTRs for each call, as the add-in must.
//   add-in off   the same call through the add-in: CallAsFunc of
//                ProcessCheck with the host's values, the log off
//   FindMethod   averaged over all 74 names (37 methods, two names each),
//                the log off
//   memory       committed private memory before and after 10^6 add-in
//                calls (a walk of the address space with VirtualQuery)
//   add-in on    the same call with the log on (switched on by
//                GetMethodName; it cannot be switched off again, so this
//                comes last). Per log line: (on - off) / lines per call,
//                the lines and their length counted in e:\lll.txt
//   line floor   one clock reading (GetLocalTime) and one WriteFile of a
//                line of that length to a file beside e:\lll.txt
//
// Every figure is taken in many rounds that interleave the paths it is
// compared with; each round times one batch per path, sized to last about a
// third of a millisecond (shorter than a time slice of a busy machine). A
// figure is the minimum over its rounds (the median is shown beside it): on a
// shared machine other processes only ever add time to a batch, so the
// minimum is the figure that noise does not decide. FindMethod is timed name
// by name, and its figure is the mean over the 74 names of each name's
// minimum. "short" runs three rounds: it shows that every path works and that
// the figures print, and asserts no time. The lines "BENCH: key=value"
// carry the figures for scripts (tools/run-bench.sh).
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/wine/fakedriver/fakedriver_slots.h"
#include "tests/wine/hostsim/hostlib.h"
#include "tests/wine/hostsim/product_support.h"

namespace {

using namespace hostsim;
using namespace hostsim::product;

const wchar_t* const DriverInterfaceText = L"{E390D34B-02C3-46C8-803C-DB8131AC5331}";
const wchar_t* const LineFloorPath = L"e:\\lll-bench-floor.txt";
const int32_t ProcessCheckIndex = 22;
const size_t PackageUnits = 4096;

// The methods' names as the host's documentation gives them, by index.
const char16_t* const MethodNames[][2] = {
    {u"GetInterfaceRevision", u"ПолучитьРевизиюИнтерфейса"},
    {u"GetDescription", u"ПолучитьОписание"},
    {u"GetLastError", u"ПолучитьОшибку"},
    {u"GetParameters", u"ПолучитьПараметры"},
    {u"SetParameter", u"УстановитьПараметр"},
    {u"Open", u"Подключить"},
    {u"Close", u"Отключить"},
    {u"DeviceTest", u"ТестУстройства"},
    {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия"},
    {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие"},
    {u"GetLocalizationPattern", u"ПолучитьШаблонЛокализации"},
    {u"SetLocalization", u"УстановитьЛокализацию"},
    {u"EquipmentParameters", u"ПараметрыОборудования"},
    {u"EquipmentTest", u"ТестированиеОборудования"},
    {u"SetApplicationInformation", u"УстановитьИнформациюПриложения"},
    {u"ConnectEquipment", u"ПодключитьОборудование"},
    {u"DisconnectEquipment", u"ОтключитьОборудование"},
    {u"EquipmentAutoSetup", u"АвтонастройкаОборудования"},
    {u"GetDataKKT", u"ПолучитьПараметрыККТ"},
    {u"OperationFN", u"ОперацияФН"},
    {u"OpenShift", u"ОткрытьСмену"},
    {u"CloseShift", u"ЗакрытьСмену"},
    {u"ProcessCheck", u"СформироватьЧек"},
    {u"ProcessCorrectionCheck", u"СформироватьЧекКоррекции"},
    {u"PrintTextDocument", u"НапечататьТекстовыйДокумент"},
    {u"CashInOutcome", u"НапечататьЧекВнесенияВыемки"},
    {u"PrintXReport", u"НапечататьОтчетБезГашения"},
    {u"PrintCheckCopy", u"НапечататьКопиюЧека"},
    {u"GetCurrentStatus", u"ПолучитьТекущееСостояние"},
    {u"ReportCurrentStatusOfSettlements", u"ОтчетОТекущемСостоянииРасчетов"},
    {u"OpenCashDrawer", u"ОткрытьДенежныйЯщик"},
    {u"GetLineLength", u"ПолучитьШиринуСтроки"},
    {u"OpenSessionRegistrationKM", u"ОткрытьСессиюРегистрацииКМ"},
    {u"CloseSessionRegistrationKM", u"ЗакрытьСессиюРегистрацииКМ"},
    {u"RequestKM", u"ЗапросКМ"},
    {u"GetProcessingKMResult", u"ПолучитьРезультатыЗапросаКМ"},
    {u"ConfirmKM", u"ПодтвердитьКМ"},
};
const int32_t MethodCount = sizeof(MethodNames) / sizeof(MethodNames[0]);

// --- Sizes of one run -------------------------------------------------------------

struct TPlan {
    int Rounds;       // rounds of each interleaved measurement
    int NameRounds;   // rounds of FindMethod, name by name
    int MemoryCalls;  // calls between the two memory readings
};

const TPlan FullPlan = {101, 15, 1000000};
const TPlan ShortPlan = {3, 3, 10000};

// How long one timed batch should last.
const double BatchNs = 300000;

// --- The host's memory manager on the process heap ------------------------------------

V8Bool V8_CALL HeapAllocMemory(TV8MemoryManager*, void** pMemory, uint32_t bytes) {
    if (pMemory == nullptr) return false;
    *pMemory = ::HeapAlloc(::GetProcessHeap(), 0, bytes != 0 ? bytes : 1);
    return *pMemory != nullptr;
}

void V8_CALL HeapFreeMemory(TV8MemoryManager*, void** pMemory) {
    if (pMemory == nullptr || *pMemory == nullptr) return;
    ::HeapFree(::GetProcessHeap(), 0, *pMemory);
    *pMemory = nullptr;
}

const TV8MemoryManagerVtbl HeapManagerVtbl = {nullptr, &HeapAllocMemory, &HeapFreeMemory};
TV8MemoryManager HeapManager = {&HeapManagerVtbl};

V8Variant HeapText(const std::u16string& s) {
    V8Variant v = fakehost::Empty();
    void* block = nullptr;
    HeapAllocMemory(&HeapManager, &block, static_cast<uint32_t>(2 * s.size() + 2));
    char16_t* p = static_cast<char16_t*>(block);
    std::copy(s.begin(), s.end(), p);
    p[s.size()] = 0;
    v.vt = VTYPE_PWSTR;
    v.VarEnum.vtRecWideString.pwstrVal = p;
    v.VarEnum.vtRecWideString.wstrLen = static_cast<uint32_t>(s.size());
    return v;
}

void HeapRelease(V8Variant& v) {
    const uint32_t t = v.vt & 0xFFF;
    if ((t == VTYPE_PWSTR || t == VTYPE_PSTR || t == VTYPE_BLOB) && v.VarEnum.vtRecString.pstrVal != nullptr) {
        void* block = v.VarEnum.vtRecString.pstrVal;
        HeapFreeMemory(&HeapManager, &block);
    }
    v = fakehost::Empty();
}

// --- Measuring -------------------------------------------------------------------------

class TClock {
public:
    TClock() {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        FFrequency = static_cast<double>(f.QuadPart);
    }
    int64_t Now() const {
        LARGE_INTEGER c;
        ::QueryPerformanceCounter(&c);
        return c.QuadPart;
    }
    double Ns(int64_t from, int64_t to) const { return static_cast<double>(to - from) * 1e9 / FFrequency; }

private:
    double FFrequency = 1;
};

// The per-operation times of one figure's rounds.
struct TFigure {
    std::vector<double> Rounds;
    void Add(double ns) { Rounds.push_back(ns); }
    double Median() const {
        if (Rounds.empty()) return 0;
        std::vector<double> r = Rounds;
        std::sort(r.begin(), r.end());
        const size_t n = r.size();
        return n % 2 ? r[n / 2] : (r[n / 2 - 1] + r[n / 2]) / 2;
    }
    double Min() const { return Rounds.empty() ? 0 : *std::min_element(Rounds.begin(), Rounds.end()); }
};

// Committed private memory of the process: every committed region that is
// not an image or a mapped file.
uint64_t CommittedPrivateBytes() {
    uint64_t total = 0;
    SYSTEM_INFO si;
    ::GetSystemInfo(&si);
    const char* p = static_cast<const char*>(si.lpMinimumApplicationAddress);
    const char* end = static_cast<const char*>(si.lpMaximumApplicationAddress);
    MEMORY_BASIC_INFORMATION mbi;
    while (p < end && ::VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
        const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= p) break;
        p = next;
    }
    return total;
}

std::u16string CyrillicPackage(size_t units) {
    const std::u16string piece =
        u"<Позиция Наименование=\"Молоко пастеризованное 3,2% 1 л\" Количество=\"2\" Цена=\"89,90\" "
        u"СтавкаНДС=\"10\" ПризнакСпособаРасчета=\"4\" ПризнакПредметаРасчета=\"1\"/>";
    std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><ЧекККТ>";
    while (text.size() < units) text += piece;
    text.resize(units);
    return text;
}

// Lines (CR LF) and bytes of a file.
struct TFileCount {
    uint64_t Bytes = 0;
    uint64_t Lines = 0;
};

TFileCount CountFile(const wchar_t* path) {
    TFileCount c;
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) return c;
    c.Bytes = bytes.size();
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == '\r' && bytes[i + 1] == '\n') ++c.Lines;
    return c;
}

std::string Fixed(double v, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

void PrintFigure(const char* what, const TFigure& f) {
    Say("  %-46s %9.0f ns  (median %.0f, %d rounds)\n", what, f.Min(), f.Median(), static_cast<int>(f.Rounds.size()));
}

// --- The bench ---------------------------------------------------------------------------

class TBench {
public:
    TBench(TCheckList& checks, const TPlan& plan, THostLibrary& lib) : C(checks), Plan(plan), Obj(lib) {}

    bool Prepare();
    void MeasureLogOff();
    void MeasureMemory();
    void MeasureLogOn();
    void CheckNames();
    void Report();
    void Finish();

private:
    bool DirectCall();
    bool DirectCallMakingBstrs();
    bool AddinCall();
    bool FindAll(int repeats);
    double DirectBatch(int calls);
    double DirectBstrBatch(int calls);
    double AddinBatch(int calls);
    double FindBatch(const char16_t* name, int32_t index, int lookups);
    // Operations per batch for a path that took ns per operation.
    static int BatchFor(double ns) {
        const double n = ns > 0 ? BatchNs / ns : 1000;
        return n < 5 ? 5 : n > 100000 ? 100000 : static_cast<int>(n);
    }
    double LineFloorBatch(int lines);

    TCheckList& C;
    TPlan Plan;
    TClock Clock;
    THostObject Obj;
    fakehost::TFakeConnection Connection;

    // The direct road.
    IUnknown* DriverObject = nullptr;
    void* DriverInterface = nullptr;
    BSTR DeviceBstr = nullptr;
    BSTR PackageBstr = nullptr;

    // The host's values of one ProcessCheck.
    V8Variant Ret = fakehost::Empty();
    V8Variant Params[4] = {};
    std::u16string ExpectedOut;

    TFigure Direct, DirectBstr, AddinOff, AddinOn, LineFloor;
    std::u16string Package;
    std::vector<TFigure> FindByName;  // one per name, English then Russian of each method
    double FindMean = 0, FindMeanOfMedians = 0;
    bool Failures = false;
    uint64_t MemoryBefore = 0, MemoryAfter = 0;
    int MemoryCallsDone = 0;
    double LinesPerCall = 0, LineBytes = 0;
    HANDLE FloorFile = INVALID_HANDLE_VALUE;
    std::string FloorLine;
};

bool TBench::Prepare() {
    // The double answers at once: no journal, nothing read per call.
    ::SetEnvironmentVariableW(L"KELMOR_FAKEDRIVER_JOURNAL", nullptr);
    ResetDriverEnv();
    SetDriverEnv(L"QUICK", u"1");

    CLSID driverClass = {}, driverInterface = {};
    ::CLSIDFromString(const_cast<LPOLESTR>(DriverClassText), &driverClass);
    ::CLSIDFromString(const_cast<LPOLESTR>(DriverInterfaceText), &driverInterface);
    HRESULT hr = ::CoCreateInstance(driverClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(&DriverObject));
    if (!C.Check(SUCCEEDED(hr) && DriverObject != nullptr, "CoCreateInstance of the driver object"))
        return false;
    hr = DriverObject->QueryInterface(driverInterface, &DriverInterface);
    if (!C.Check(SUCCEEDED(hr) && DriverInterface != nullptr, "the driver object offers ITarvik1C30")) return false;

    Package = CyrillicPackage(PackageUnits);
    const std::u16string& package = Package;
    DeviceBstr = ::SysAllocString(L"1");
    PackageBstr = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(package.data()),
                                      static_cast<UINT>(package.size()));

    const int32_t made = Obj.Create(u"KelmorTarvik1C4");
    if (!C.Check(made == 1 && Obj.Valid() && Obj.Init(Connection.Connection()) && Obj.SetMemManager(&HeapManager),
                 "the component object is made, with the host's memory manager on the process heap"))
        return false;
    Params[0] = HeapText(u"1");
    Params[1] = fakehost::Bool(false);
    Params[2] = HeapText(package);
    Params[3] = fakehost::Empty();

    // One call of each road, checked, before anything is timed.
    bool direct = DirectCall();
    C.Check(direct, "the direct call answers true with the double's output parameters");
    bool addin = AddinCall();
    C.Check(addin && Ret.vt == VTYPE_BOOL && Ret.VarEnum.bVal == 1 && Params[3].vt == VTYPE_PWSTR &&
                fakehost::ReadWString(Params[3]) == ExpectedOut,
            "ProcessCheck through the add-in answers true, RetValue true, the output parameters in argument 3",
            "RetValue " + Describe(Ret) + ", argument 3 " + Describe(Params[3]));
    C.Check(Connection.Errors().empty(), "no error report to the host");
    bool found = FindAll(1);
    C.Check(found, "FindMethod finds each of the 74 names at its index");
    return direct && addin && found;
}

bool TBench::DirectCall() {
    const TDriverSlots* slots = *static_cast<const TDriverSlots* const*>(DriverInterface);
    auto* self = static_cast<TDualObject*>(DriverInterface);
    BSTR out = nullptr;
    VARIANT_BOOL result = VARIANT_FALSE;
    const HRESULT hr = slots->ProcessCheck(self, DeviceBstr, VARIANT_FALSE, PackageBstr, &out, &result);
    const bool ok = SUCCEEDED(hr) && result == VARIANT_TRUE && out != nullptr;
    if (ok && ExpectedOut.empty())
        ExpectedOut.assign(reinterpret_cast<const char16_t*>(out), ::SysStringLen(out));
    ::SysFreeString(out);
    return ok;
}

// The same call by a caller that holds the texts in its own memory, as the
// add-in does: it makes the BSTRs for each call.
bool TBench::DirectCallMakingBstrs() {
    const TDriverSlots* slots = *static_cast<const TDriverSlots* const*>(DriverInterface);
    auto* self = static_cast<TDualObject*>(DriverInterface);
    BSTR device = ::SysAllocStringLen(L"1", 1);
    BSTR package = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(Package.data()),
                                       static_cast<UINT>(Package.size()));
    BSTR out = nullptr;
    VARIANT_BOOL result = VARIANT_FALSE;
    const HRESULT hr = slots->ProcessCheck(self, device, VARIANT_FALSE, package, &out, &result);
    const bool ok = device != nullptr && package != nullptr && SUCCEEDED(hr) && result == VARIANT_TRUE;
    ::SysFreeString(out);
    ::SysFreeString(package);
    ::SysFreeString(device);
    return ok;
}

bool TBench::AddinCall() { return Obj.CallAsFunc(ProcessCheckIndex, Ret, Params, 4); }

bool TBench::FindAll(int repeats) {
    bool ok = true;
    for (int r = 0; r < repeats; ++r)
        for (int32_t i = 0; i < MethodCount; ++i)
            for (int lang = 0; lang < 2; ++lang)
                if (Obj.FindMethod(MethodNames[i][lang]) != i) ok = false;
    return ok;
}

double TBench::DirectBatch(int calls) {
    bool ok = true;
    const int64_t start = Clock.Now();
    for (int i = 0; i < calls; ++i) ok &= DirectCall();
    const int64_t stop = Clock.Now();
    if (!ok) Failures = true;
    return Clock.Ns(start, stop) / calls;
}

double TBench::DirectBstrBatch(int calls) {
    bool ok = true;
    const int64_t start = Clock.Now();
    for (int i = 0; i < calls; ++i) ok &= DirectCallMakingBstrs();
    const int64_t stop = Clock.Now();
    if (!ok) Failures = true;
    return Clock.Ns(start, stop) / calls;
}

double TBench::AddinBatch(int calls) {
    bool ok = true;
    const int64_t start = Clock.Now();
    for (int i = 0; i < calls; ++i) ok &= AddinCall();
    const int64_t stop = Clock.Now();
    if (!ok) Failures = true;
    return Clock.Ns(start, stop) / calls;
}

double TBench::FindBatch(const char16_t* name, int32_t index, int lookups) {
    bool ok = true;
    const int64_t start = Clock.Now();
    for (int i = 0; i < lookups; ++i) ok &= Obj.FindMethod(name) == index;
    const int64_t stop = Clock.Now();
    if (!ok) Failures = true;
    return Clock.Ns(start, stop) / lookups;
}

double TBench::LineFloorBatch(int lines) {
    bool ok = true;
    const DWORD length = static_cast<DWORD>(FloorLine.size());
    const int64_t start = Clock.Now();
    for (int i = 0; i < lines; ++i) {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        // The clock reading goes into the line, as a log line's header does.
        FloorLine[1] = static_cast<char>('0' + now.wMilliseconds % 10);
        DWORD written = 0;
        ok &= ::WriteFile(FloorFile, FloorLine.data(), length, &written, nullptr) && written == length;
    }
    const int64_t stop = Clock.Now();
    if (!ok) Failures = true;
    return Clock.Ns(start, stop) / lines;
}

void TBench::MeasureLogOff() {
    C.Section("log off: the direct call and the add-in's call interleaved, then FindMethod name by name");
    // Warm both roads up, and size their batches.
    DirectBatch(50);
    AddinBatch(50);
    const int direct = BatchFor(DirectBatch(50)), addin = BatchFor(AddinBatch(50));
    const int directBstr = BatchFor(DirectBstrBatch(50));
    for (int r = 0; r < Plan.Rounds; ++r) {
        Direct.Add(DirectBatch(direct));
        DirectBstr.Add(DirectBstrBatch(directBstr));
        AddinOff.Add(AddinBatch(addin));
    }
    std::vector<int> lookups;
    for (int32_t i = 0; i < MethodCount; ++i)
        for (int lang = 0; lang < 2; ++lang) lookups.push_back(BatchFor(FindBatch(MethodNames[i][lang], i, 5)));
    FindByName.assign(lookups.size(), TFigure());
    for (int r = 0; r < Plan.NameRounds; ++r)
        for (int32_t i = 0; i < MethodCount; ++i)
            for (int lang = 0; lang < 2; ++lang)
                FindByName[2 * i + lang].Add(FindBatch(MethodNames[i][lang], i, lookups[2 * i + lang]));
    for (const TFigure& f : FindByName) {
        FindMean += f.Min() / FindByName.size();
        FindMeanOfMedians += f.Median() / FindByName.size();
    }
    C.Check(!Failures, "every timed call answered as the first one did");
}

void TBench::MeasureMemory() {
    C.Section("committed memory over the add-in's calls, log off");
    MemoryBefore = CommittedPrivateBytes();
    bool ok = true;
    for (int i = 0; i < Plan.MemoryCalls; ++i) ok &= AddinCall();
    MemoryCallsDone = Plan.MemoryCalls;
    MemoryAfter = CommittedPrivateBytes();
    C.Check(ok, std::to_string(Plan.MemoryCalls) + " calls answered true");
    C.Check(MemoryBefore > 0 && MemoryAfter > 0, "committed memory read before and after");
}

void TBench::MeasureLogOn() {
    C.Section("log on: the add-in's call and the floor of one line, interleaved");
    ::DeleteFileW(LogPath);
    // The host asks for a method's name: from now on the add-in logs.
    Obj.GetMethodName(ProcessCheckIndex, 0);
    const TFileCount before = CountFile(LogPath);
    const int calibration = 50;
    const int calls = BatchFor(AddinBatch(calibration));
    const TFileCount after = CountFile(LogPath);
    const uint64_t lines = after.Lines - before.Lines;
    if (!C.Check(lines > 0, "the add-in's calls write lines into e:\\lll.txt",
                 std::to_string(after.Lines) + " lines in the file"))
        return;
    LinesPerCall = static_cast<double>(lines) / calibration;
    LineBytes = static_cast<double>(after.Bytes - before.Bytes) / static_cast<double>(lines);

    // The floor's file: beside the log, opened as the log is.
    ::DeleteFileW(LineFloorPath);
    FloorFile = ::CreateFileW(LineFloorPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!C.Check(FloorFile != INVALID_HANDLE_VALUE, "the floor's file beside e:\\lll.txt opens")) return;
    FloorLine.assign(static_cast<size_t>(LineBytes + 0.5), 'x');
    if (FloorLine.size() >= 2) FloorLine.replace(FloorLine.size() - 2, 2, "\r\n");
    LineFloorBatch(50);
    const int floorLines = BatchFor(LineFloorBatch(50));

    const TFileCount start = CountFile(LogPath);
    int made = 0;
    for (int r = 0; r < Plan.Rounds; ++r) {
        AddinOn.Add(AddinBatch(calls));
        made += calls;
        LineFloor.Add(LineFloorBatch(floorLines));
    }
    const TFileCount end = CountFile(LogPath);
    C.Check(!Failures, "every timed call answered true");
    const uint64_t counted = end.Lines - start.Lines;
    C.Check(counted == static_cast<uint64_t>(made * LinesPerCall + 0.5), "each call wrote the same lines",
            std::to_string(counted) + " lines for " + std::to_string(made) + " calls");
    ::CloseHandle(FloorFile);
    FloorFile = INVALID_HANDLE_VALUE;
    ::DeleteFileW(LineFloorPath);
}

// The names the bench used are the add-in's own (asked only now: asking
// switches the log on).
void TBench::CheckNames() {
    bool same = Obj.GetNMethods() == MethodCount;
    for (int32_t i = 0; same && i < MethodCount; ++i)
        same = Obj.GetMethodName(i, 0) == MethodNames[i][0] && Obj.GetMethodName(i, 1) == MethodNames[i][1];
    C.Check(same, "the 74 names measured are the add-in's names");
}

void TBench::Report() {
    const double direct = Direct.Min(), off = AddinOff.Min(), on = AddinOn.Min();
    const double perLine = LinesPerCall > 0 ? (on - off) / LinesPerCall : 0;
    const double floor = LineFloor.Min(), find = FindMean;
    const double addinRatio = direct > 0 ? off / direct : 0;
    const double directBstr = DirectBstr.Min(), bstrRatio = directBstr > 0 ? off / directBstr : 0;
    const double lineRatio = floor > 0 ? perLine / floor : 0;
    const double memoryKb = (static_cast<double>(MemoryAfter) - static_cast<double>(MemoryBefore)) / 1024.0;

    Say("\nProcessCheck with a %d-unit Cyrillic package, the double answering at once; minimum of rounds\n",
        static_cast<int>(PackageUnits));
    PrintFigure("direct COM call (the floor)", Direct);
    PrintFigure("direct COM call, its BSTRs made for the call", DirectBstr);
    PrintFigure("through the add-in, log off", AddinOff);
    PrintFigure("through the add-in, log on", AddinOn);
    Say("  %-46s %9.0f ns  (mean of the medians %.0f, %d rounds)\n", "FindMethod per name (mean over 74 names), log off",
        FindMean, FindMeanOfMedians, Plan.NameRounds);
    PrintFigure(("line floor: GetLocalTime + WriteFile of " + Fixed(LineBytes, 0) + " bytes").c_str(), LineFloor);
    Say("\n  %-46s %9.0f ns  %.2fx the direct call   (goal <= 3x; %.2fx the call making its BSTRs)\n",
        "add-in path, log off", off, addinRatio, bstrRatio);
    Say("  %-46s %9.0f ns  %.2fx the line floor    (goal <= 1.15x; %.2f lines a call, %.0f bytes a line)\n",
        "one log line, log on", perLine, lineRatio, LinesPerCall, LineBytes);
    Say("  %-46s %9.0f ns  %.2fx the goal          (goal <= 1000 ns)\n", "FindMethod per name, log off", find,
        find / 1000.0);
    Say("  %-46s %+9.0f KB  (%.0f KB before, %.0f KB after; goal within +-1024 KB)\n",
        ("committed memory over " + std::to_string(MemoryCallsDone) + " calls").c_str(), memoryKb,
        MemoryBefore / 1024.0, MemoryAfter / 1024.0);
    Say("\nBENCH: direct_ns=%.0f direct_bstr_ns=%.0f addin_off_ns=%.0f addin_ratio=%.2f addin_on_ns=%.0f "
        "lines_per_call=%.2f line_ns=%.0f line_floor_ns=%.0f line_ratio=%.2f findmethod_ns=%.0f memory_kb=%.0f "
        "memory_calls=%d\n\n",
        direct, directBstr, off, addinRatio, on, LinesPerCall, perLine, floor, lineRatio, find, memoryKb,
        MemoryCallsDone);

    C.Check(direct > 0 && directBstr > 0 && off > 0 && on > 0 && floor > 0 && find > 0,
            "every figure was measured and printed");
}

void TBench::Finish() {
    HeapRelease(Ret);
    for (V8Variant& v : Params) HeapRelease(v);
    if (Obj.Valid()) C.Equal(Obj.Destroy(), 0, "DestroyObject");
    if (DriverInterface) static_cast<IUnknown*>(DriverInterface)->Release();
    if (DriverObject) DriverObject->Release();
    DriverInterface = nullptr;
    DriverObject = nullptr;
    ::SysFreeString(DeviceBstr);
    ::SysFreeString(PackageBstr);
    ClearDriverEnv(L"QUICK");
}

int Run(const std::vector<std::wstring>& args) {
    const bool shortRun = args.size() == 3 && args[2] == L"short";
    if (args.size() != 2 && !shortRun) {
        Say("usage: hostsim bench <KelmorTarvik1CNative.dll> <fakedriver.dll> [short]\n");
        return 2;
    }
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TCheckList C;
    C.Check(SUCCEEDED(com), "the host initialises COM on its thread");
    ::DeleteFileW(LogPath);
    const int rc = RunRegsvr32(args[1], false);
    if (C.Check(rc == 0 && DriverClassRegistered(), "regsvr32 registers the fiscal driver's test double",
                "exit code " + std::to_string(rc))) {
        THostLibrary lib;
        if (C.Check(lib.Load(args[0]), "LoadLibraryW and the three exports of " + Utf8(args[0]), lib.Error())) {
            {
                TBench bench(C, shortRun ? ShortPlan : FullPlan, lib);
                if (bench.Prepare()) {
                    bench.MeasureLogOff();
                    bench.MeasureMemory();
                    bench.MeasureLogOn();
                    bench.CheckNames();
                    bench.Report();
                }
                bench.Finish();
            }
            lib.Unload();
        }
    }
    C.Equal(RunRegsvr32(args[1], true), 0, "regsvr32 /u unregisters the double");
    ::DeleteFileW(LogPath);
    ::CoUninitialize();
    return C.Summary();
}

const hostsim::THostMode Mode("bench", "<KelmorTarvik1CNative.dll> <fakedriver.dll> [short]   the add-in's own cost",
                              &Run);

}  // namespace
