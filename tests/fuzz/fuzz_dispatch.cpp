// The product's component driven the way the host drives it: objects made by
// GetClassObject, handed the fake host's connection and memory manager
// through their IInitDone view, then a sequence of ILanguageExtender calls
// (method and property slots with indexes in range and out, calls with any
// argument count and any host values), with the recording stand-in for the
// fiscal driver behind the adapter and its state changed between calls.
//
// The oracle is a model of the class as the host sees it, written from the
// host interface and the handler rules, not from the code: the method table
// (names, counts), and for every method what it reads, which driver operation
// it calls with what, what it writes back, where it sets the format version
// and which of its failures are logged and which are reported. For every
// call it predicts the answer, the one failure (an error line of the
// component or an AddError report with 1006, "Внешняя компонента" and
// E_FAIL, never both), the trace line, the stand-in's journal entry, the
// format versions written and the creation attempts, and checks them, along
// with the host's values: untouched when the call answers false, and on
// success only the out-arguments and the result written, text in blocks of
// the host's heap. After every call each text block in the host's values
// belongs to the host's manager and no other block is live; after the host
// releases its values and destroys the objects no block, no driver object and
// no interface reference is left, and no free was bad.
//
// How host values read as booleans, integers and numbers is the host value
// target's business (fuzz_hostvalues); here those readers, applied to a copy
// of the value taken before the call, only say what must reach the driver.
//
// Texts handed to the component never hold '[' (replaced by '{'): every
// line the oracle looks for in the log starts with one, so no argument can
// forge or hide such a line.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "component/extention30.h"
#include "component/methodtable.h"
#include "driver/driver30.h"
#include "driver/oleerror.h"
#include "hostapi/classreg.h"
#include "hostapi/exports.h"
#include "hostapi/hostvalues.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/support/decimalseparator.h"
#include "tests/support/fakehost.h"
#include "tests/support/hostabi.h"
#include "tests/support/recordingdriver.h"

namespace fh = fakehost;
using fuzzcheck::Printable;

// The harness's loops over texts and logs steer nothing: no coverage
// instrumentation there, which would only slow every input down.
#define NOT_STEERING __attribute__((no_sanitize("coverage")))

namespace {

const char16_t* const ClassName = u"KelmorTarvik1C4";
const char16_t* const ErrorSource = u"Внешняя компонента";
const char16_t* const NoDriver = u"Объект драйвера не установлен";
constexpr uint16_t AddInFail = 1006;
constexpr int32_t EFail = static_cast<int32_t>(0x80004005u);
constexpr int32_t EUnexpected = static_cast<int32_t>(0x8000FFFFu);
constexpr int32_t FallbackRevision = 4001;
constexpr int32_t MaxCount = 12;

// --- The class as the host sees it ---------------------------------------------

// How a handler goes about its call.
enum class TFlow {
    Pattern,       // trace; guarded: count, reads, adapter operation, writes
    Revision,      // version 47 unguarded before the trace; no count check; never fails after it
    Description,   // version 47; the component's own document when that fails
    Version46,     // version 46 unguarded before the trace, then the pattern
    AppInfo,       // the pattern without a guarded part: failures go to the host
    Status,        // the pattern; the adapter's failures come back as E_UNEXPECTED
    ProcessCheck,  // the pattern with version 30 first inside the guarded part
};
enum class TIn { Text, Bool, Int, Double, Value, Timeout, Nothing };
enum class TRet { Bool, Revision, LastError };

struct TInput {
    int Arg;
    TIn Kind;
};
// A host value the handler writes: the driver's out texts in their order, or
// an integer.
struct TOutput {
    int Arg;
    bool IsInt;
    int32_t IntValue;
};
struct TMethod {
    const char16_t* Name;
    const char16_t* NameLoc;
    int32_t Registered;
    int32_t Required;  // -1: no count check
    TFlow Flow;
    const char* Op;  // the driver operation in the stand-in's journal; null when none
    std::vector<TInput> Ins;  // in the driver operation's order
    int OutTexts;             // out texts of the driver operation
    std::vector<TOutput> Outs;
    TRet Ret;
};

TOutput T(int arg) { return {arg, false, 0}; }
TOutput I(int arg, int32_t value) { return {arg, true, value}; }
TInput Text(int arg) { return {arg, TIn::Text}; }

const std::vector<TMethod>& Methods() {
    using F = TFlow;
    static const std::vector<TMethod> methods = {
        {u"GetInterfaceRevision", u"ПолучитьРевизиюИнтерфейса", 0, -1, F::Revision, "GetInterfaceRevision", {}, 0, {}, TRet::Revision},
        {u"GetDescription", u"ПолучитьОписание", 1, 1, F::Description, nullptr, {}, 0, {T(0)}, TRet::Bool},
        {u"GetLastError", u"ПолучитьОшибку", 1, 1, F::Pattern, "GetLastError", {}, 1, {T(0)}, TRet::LastError},
        {u"GetParameters", u"ПолучитьПараметры", 1, 1, F::Pattern, "GetParameters", {}, 1, {T(0)}, TRet::Bool},
        {u"SetParameter", u"УстановитьПараметр", 2, 2, F::Pattern, "SetParameter", {Text(0), {1, TIn::Value}}, 0, {}, TRet::Bool},
        {u"Open", u"Подключить", 1, 1, F::Pattern, "Open", {}, 1, {T(0)}, TRet::Bool},
        {u"Close", u"Отключить", 1, 1, F::Pattern, "Close", {Text(0)}, 0, {}, TRet::Bool},
        {u"DeviceTest", u"ТестУстройства", 2, 2, F::Pattern, "DeviceTest", {}, 2, {T(0), T(1)}, TRet::Bool},
        {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1, 1, F::Pattern, "GetAdditionalActions", {}, 1, {T(0)}, TRet::Bool},
        {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1, 1, F::Pattern, "DoAdditionalAction", {Text(0)}, 0, {}, TRet::Bool},
        // The two localization methods follow the pattern with one argument:
        // the pattern comes back in argument 0; the language code goes to the
        // driver with an empty pattern.
        {u"GetLocalizationPattern", u"ПолучитьШаблонЛокализации", 1, 1, F::Pattern, "GetLocalizationPattern", {}, 1, {T(0)}, TRet::Bool},
        {u"SetLocalization", u"УстановитьЛокализацию", 1, 1, F::Pattern, "SetLocalization", {Text(0), {-1, TIn::Nothing}}, 0, {}, TRet::Bool},
        {u"EquipmentParameters", u"ПараметрыОборудования", 2, 2, F::Version46, "EquipmentParameters", {Text(0)}, 1, {T(1)}, TRet::Bool},
        {u"EquipmentTest", u"ТестированиеОборудования", 4, 4, F::Pattern, "EquipmentTest", {Text(0), Text(1)}, 2, {T(2), T(3)}, TRet::Bool},
        {u"SetApplicationInformation", u"УстановитьИнформациюПриложения", 1, 1, F::AppInfo, "SetApplicationInformation", {Text(0)}, 0, {}, TRet::Bool},
        {u"ConnectEquipment", u"ПодключитьОборудование", 3, 3, F::Status, "ConnectEquipment", {Text(1), Text(2)}, 1, {T(0)}, TRet::Bool},
        {u"DisconnectEquipment", u"ОтключитьОборудование", 1, 1, F::Status, "DisconnectEquipment", {Text(0)}, 0, {}, TRet::Bool},
        {u"EquipmentAutoSetup", u"АвтонастройкаОборудования", 5, 5, F::Status, "EquipmentAutoSetup", {Text(1), {3, TIn::Bool}, {4, TIn::Timeout}}, 2, {T(0), T(2)}, TRet::Bool},
        {u"GetDataKKT", u"ПолучитьПараметрыККТ", 2, 2, F::Pattern, "GetDataKKT", {Text(0)}, 1, {T(1)}, TRet::Bool},
        {u"OperationFN", u"ОперацияФН", 3, 3, F::Pattern, "OperationFN", {Text(0), {1, TIn::Int}, Text(2)}, 0, {}, TRet::Bool},
        {u"OpenShift", u"ОткрытьСмену", 3, 3, F::Pattern, "OpenShift", {Text(0), Text(1)}, 1, {T(2)}, TRet::Bool},
        {u"CloseShift", u"ЗакрытьСмену", 3, 3, F::Pattern, "CloseShift", {Text(0), Text(1)}, 1, {T(2)}, TRet::Bool},
        {u"ProcessCheck", u"СформироватьЧек", 4, 4, F::ProcessCheck, "ProcessCheck", {Text(0), {1, TIn::Bool}, Text(2)}, 1, {T(3)}, TRet::Bool},
        {u"ProcessCorrectionCheck", u"СформироватьЧекКоррекции", 4, 4, F::Pattern, "ProcessCorrectionCheck", {Text(0), {1, TIn::Bool}, Text(2)}, 1, {T(3)}, TRet::Bool},
        {u"PrintTextDocument", u"НапечататьТекстовыйДокумент", 2, 2, F::Pattern, "PrintTextDocument", {Text(0), Text(1)}, 0, {}, TRet::Bool},
        {u"CashInOutcome", u"НапечататьЧекВнесенияВыемки", 3, 3, F::Pattern, "CashInOutcome", {Text(0), Text(1), {2, TIn::Double}}, 0, {}, TRet::Bool},
        {u"PrintXReport", u"НапечататьОтчетБезГашения", 2, 2, F::Pattern, "PrintXReport", {Text(0), Text(1)}, 0, {}, TRet::Bool},
        {u"PrintCheckCopy", u"НапечататьКопиюЧека", 2, 2, F::Pattern, "PrintCheckCopy", {Text(0), Text(1)}, 0, {}, TRet::Bool},
        {u"GetCurrentStatus", u"ПолучитьТекущееСостояние", 3, 3, F::Pattern, "GetCurrentStatus", {Text(0), Text(1)}, 1, {T(2)}, TRet::Bool},
        {u"ReportCurrentStatusOfSettlements", u"ОтчетОТекущемСостоянииРасчетов", 3, 3, F::Pattern, "ReportCurrentStatusOfSettlements", {Text(0), Text(1)}, 1, {T(2)}, TRet::Bool},
        {u"OpenCashDrawer", u"ОткрытьДенежныйЯщик", 1, 1, F::Pattern, "OpenCashDrawer", {Text(0)}, 0, {}, TRet::Bool},
        {u"GetLineLength", u"ПолучитьШиринуСтроки", 2, 2, F::Pattern, "GetLineLength", {Text(0)}, 0, {I(1, recdriver::LineLength)}, TRet::Bool},
        {u"OpenSessionRegistrationKM", u"ОткрытьСессиюРегистрацииКМ", 1, 1, F::Pattern, "OpenSessionRegistrationKM", {Text(0)}, 0, {}, TRet::Bool},
        {u"CloseSessionRegistrationKM", u"ЗакрытьСессиюРегистрацииКМ", 1, 1, F::Pattern, "CloseSessionRegistrationKM", {Text(0)}, 0, {}, TRet::Bool},
        {u"RequestKM", u"ЗапросКМ", 3, 3, F::Pattern, "RequestKM", {Text(0), Text(1)}, 1, {T(2)}, TRet::Bool},
        {u"GetProcessingKMResult", u"ПолучитьРезультатыЗапросаКМ", 3, 3, F::Pattern, "GetProcessingKMResult", {Text(0)}, 1, {T(1), I(2, recdriver::KMRequestStatus)}, TRet::Bool},
        {u"ConfirmKM", u"ПодтвердитьКМ", 3, 3, F::Pattern, "ConfirmKM", {Text(0), Text(1), {2, TIn::Int}}, 0, {}, TRet::Bool},
    };
    return methods;
}

int32_t MethodCount() { return static_cast<int32_t>(Methods().size()); }

const TMethod* MethodAt(int32_t index) {
    return index >= 0 && index < MethodCount() ? &Methods()[static_cast<size_t>(index)] : nullptr;
}

std::string U8(const std::u16string& s) { return text::ToUtf8(s); }
std::string LogBytes(const std::u16string& s) { return platform::ToAnsi(s); }

// --- The log, read back from its file -----------------------------------------

class TLogWatch {
public:
    void Init() {
        // Memory-backed when there is such a folder: the file is emptied for
        // every input.
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = tmp != nullptr && *tmp != 0 ? tmp : "/tmp";
        if (access("/dev/shm", W_OK | X_OK) == 0) folder = "/dev/shm";
        std::string pattern = folder + "/kelmor-fuzz-dispatch-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        if (mkdtemp(buffer.data()) == nullptr) fuzzcheck::Fail(__FILE__, __LINE__, "mkdtemp", pattern);
        FDir = buffer.data();
        FPath = FDir + "/trace.log";
        FFd = open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (FFd < 0) fuzzcheck::Fail(__FILE__, __LINE__, "open", FPath);
        std::atexit(&TLogWatch::Remove);
    }
    std::u16string Path() const { return text::FromUtf8(FPath); }

    // An empty file, the log enabled and writing into it.
    void Reset() {
        GetLogFile().SetEnabled(false);
        if (ftruncate(FFd, 0) != 0) fuzzcheck::Fail(__FILE__, __LINE__, "ftruncate", FPath);
        FOffset = 0;
        Point();
        GetLogFile().SetEnabled(true);
    }
    void Point() { GetLogFile().SetFileName(Path()); }

    // What was written since the last look.
    NOT_STEERING std::string Delta() {
        std::string out;
        char buffer[65536];
        for (;;) {
            const ssize_t n = pread(FFd, buffer, sizeof buffer, FOffset);
            if (n <= 0) break;
            out.append(buffer, static_cast<size_t>(n));
            FOffset += n;
        }
        return out;
    }

    static void Remove() {
        TLogWatch& w = Instance();
        if (!w.FPath.empty()) unlink(w.FPath.c_str());
        if (!w.FDir.empty()) rmdir(w.FDir.c_str());
    }
    static TLogWatch& Instance() {
        static TLogWatch watch;
        return watch;
    }

private:
    std::string FDir, FPath;
    int FFd = -1;
    off_t FOffset = 0;
};

NOT_STEERING size_t CountOf(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + 1)) ++count;
    return count;
}

NOT_STEERING bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// --- Interfaces in host values ----------------------------------------------------

// A COM-style object the host may put into a value (type code 9): whoever
// clears the value releases it, exactly once.
struct TFakeInterface {
    const void* const* Table;
    int Refs;
};

uint32_t V8_CALL FakeAddRef(void* self) { return static_cast<uint32_t>(++static_cast<TFakeInterface*>(self)->Refs); }
uint32_t V8_CALL FakeRelease(void* self) {
    auto* object = static_cast<TFakeInterface*>(self);
    --object->Refs;
    FUZZ_CHECK(object->Refs >= 0, "an interface in a host value released twice");
    return static_cast<uint32_t>(object->Refs);
}
const void* const FakeInterfaceTable[3] = {reinterpret_cast<const void*>(&FakeAddRef),
                                           reinterpret_cast<const void*>(&FakeAddRef),
                                           reinterpret_cast<const void*>(&FakeRelease)};

// --- The harness ------------------------------------------------------------------

struct TObject {
    void* Record = nullptr;
    bool HasAdapter = false;
    bool HasDriver = false;
};

struct THarness {
    recdriver::TDriverState State;
    fh::TFakeMemoryManager MM;
    fh::TFakeConnection Host;
    bool WithConnection = true;
    bool WithMemory = true;
    int32_t FormatVersion = 0;  // the version in force in the stand-in, as the model sees it
    std::vector<std::unique_ptr<TFakeInterface>> Interfaces;
    TObject Objects[2];
};

// The object as the host sees it: its record and the three interfaces,
// reached through the host's own view of their slots.
hostabi::TComponent ComponentOf(const TObject& o) { return hostabi::TComponent(o.Record); }
hostabi::TLanguageExtender ExtenderOf(const TObject& o) { return ComponentOf(o).LanguageExtender(); }

std::unique_ptr<TDriver30> MakeRecordingAdapter() {
    const recdriver::TDriverState* state = recdriver::State();
    if (state != nullptr && state->AdapterCreationFails) RaiseFailure(u"adapter creation refused");
    return std::make_unique<TDriver30>(recdriver::Factory());
}

TV8UserObject* NewFuzzComponent() { return new TExtention30(&MakeRecordingAdapter); }

void CreateObject(THarness& h, TObject& o, TLogWatch& log) {
    void* p = nullptr;
    FUZZ_CHECK(GetClassObject(ClassName, &p) == 1 && p != nullptr, "GetClassObject");
    o.Record = p;
    o.HasAdapter = !h.State.AdapterCreationFails;
    o.HasDriver = false;
    const hostabi::TInitDone initDone = ComponentOf(o).InitDone();
    if (h.WithConnection) FUZZ_CHECK(initDone.Init(h.Host.Connection()), "Init");
    if (h.WithMemory) FUZZ_CHECK(initDone.SetMemManager(h.MM.Manager()), "SetMemManager");
    FUZZ_CHECK(initDone.GetInfo() == 2000, "GetInfo");
    FUZZ_CHECK(log.Delta().empty(), "making an object writes nothing to the log");
}

void DestroyRecord(THarness& h, TObject& o, TLogWatch& log) {
    if (o.Record == nullptr) return;
    const int destroyed = h.State.Destroyed;
    void* p = o.Record;
    FUZZ_CHECK(DestroyObject(&p) == 0, "DestroyObject answers 0");
    FUZZ_CHECK(h.State.Destroyed == destroyed + (o.HasDriver ? 1 : 0), "the object's driver goes with it");
    FUZZ_CHECK(CountOf(log.Delta(), "[ERROR] ") == 0, "destruction logs no error");
    o.Record = nullptr;
    o.HasDriver = false;
}

// --- Host values ------------------------------------------------------------------

// Any UTF-16 text, '[' excepted, possibly with zeros inside, possibly long.
NOT_STEERING std::u16string MakeText(FuzzedDataProvider& fdp) {
    const uint8_t form = fdp.ConsumeIntegral<uint8_t>();
    const std::string raw = fdp.ConsumeRandomLengthString(128);
    const auto* bytes = reinterpret_cast<const uint8_t*>(raw.data());
    std::u16string s;
    switch (form & 3) {
        case 0: s = fuzzcheck::Pairs(bytes, raw.size()); break;
        case 1: s = fuzzcheck::Latin1(bytes, raw.size()); break;
        case 2:  // Cyrillic letters among ASCII
            for (uint8_t b : raw) s.push_back(b >= 0xC0 ? static_cast<char16_t>(0x410 + (b - 0xC0)) : b);
            break;
        default:  // digits, signs, separators and exponents: number texts
            for (uint8_t b : raw) s.push_back(u"0123456789-+.,eE 0"[b % 18]);
            break;
    }
    if ((form & 0xFC) == 0xFC && !s.empty()) {
        // Now and then a long text, up to 64K code units.
        const size_t target = size_t{1} << (12 + (s.size() & 3) + (s.size() >> 2 & 1));
        std::u16string longer;
        while (longer.size() < target) longer += s;
        s = longer;
    }
    for (char16_t& c : s)
        if (c == u'[') c = u'{';
    return s;
}

const uint32_t KnownTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};

uint32_t PickType(FuzzedDataProvider& fdp) {
    switch (fdp.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: case 1: case 2: return VTYPE_PWSTR;
        case 3: {
            static const uint32_t common[] = {VTYPE_I4, VTYPE_BOOL, VTYPE_R8, VTYPE_EMPTY, VTYPE_PSTR};
            return common[fdp.ConsumeIntegralInRange<int>(0, 4)];
        }
        case 4: case 5: return fdp.PickValueInArray(KnownTypes);
        case 6: return fdp.ConsumeIntegralInRange<uint32_t>(0, 0xFFF);  // codes that do not exist too
        case 7: return fdp.PickValueInArray(KnownTypes) | (fdp.ConsumeIntegral<uint32_t>() << 12);  // upper bits
        case 8: return fdp.ConsumeIntegral<uint32_t>();
        default: return VTYPE_PWSTR | (fdp.ConsumeIntegralInRange<uint32_t>(1, 0xF) << 12);
    }
}

// A host value: the type code and payload from the input; texts, byte
// blocks and interfaces as the host gives them (in its heap, exactly sized,
// zero-terminated; or null).
V8Variant MakeValue(THarness& h, FuzzedDataProvider& fdp) {
    V8Variant v;
    std::memset(static_cast<void*>(&v), 0, sizeof v);
    v.vt = PickType(fdp);
    const uint32_t t = v.vt & 0xFFF;
    if (t == VTYPE_PWSTR || t == VTYPE_PSTR || t == VTYPE_BLOB) {
        const uint8_t how = fdp.ConsumeIntegral<uint8_t>();
        if ((how & 0x1F) == 0) return v;  // null text
        const std::u16string s = MakeText(fdp);
        const uint32_t vt = v.vt;
        if (t == VTYPE_PWSTR) {
            v = fh::WString(h.MM, s);
        } else {
            std::string bytes;
            for (char16_t c : s) bytes.push_back(static_cast<char>(c & 0xFF));
            v = fh::PString(h.MM, bytes);
        }
        v.vt = vt;
        // The length the host states is not what the readers go by.
        if (how & 0x40) v.VarEnum.vtRecWideString.wstrLen = fdp.ConsumeIntegral<uint32_t>();
        return v;
    }
    if (t == VTYPE_INTERFACE) {
        if (fdp.ConsumeBool()) {
            h.Interfaces.push_back(std::make_unique<TFakeInterface>());
            h.Interfaces.back()->Table = FakeInterfaceTable;
            h.Interfaces.back()->Refs = 1;
            v.VarEnum.vtRecInterface.pInterfaceVal = h.Interfaces.back().get();
        }
        return v;
    }
    const std::vector<uint8_t> payload = fdp.ConsumeBytes<uint8_t>(fdp.ConsumeBool() ? 8 : 40);
    if (!payload.empty()) std::memcpy(&v.VarEnum, payload.data(), payload.size());
    if (fdp.ConsumeIntegralInRange<int>(0, 15) == 0) v.cbElements = fdp.ConsumeIntegral<uint32_t>();
    return v;
}

// What the host does with its values after a call.
void ReleaseValue(THarness& h, V8Variant& v) {
    if ((v.vt & 0xFFF) == VTYPE_INTERFACE && v.VarEnum.vtRecInterface.pInterfaceVal != nullptr) {
        FakeRelease(v.VarEnum.vtRecInterface.pInterfaceVal);
        std::memset(static_cast<void*>(&v), 0, sizeof v);
        return;
    }
    fh::Release(h.MM, v);
}

// A text value as the handlers read it: up to the first zero code unit, and
// only for the wide text type.
NOT_STEERING std::u16string TextOf(const V8Variant& v) {
    if ((v.vt & 0xFFF) != VTYPE_PWSTR || v.VarEnum.vtRecWideString.pwstrVal == nullptr) return std::u16string();
    return std::u16string(v.VarEnum.vtRecWideString.pwstrVal);
}

// SetParameter hands the driver every value as text.
std::u16string ValueAsText(const V8Variant& v) {
    switch (v.vt & 0xFFF) {
        case VTYPE_PWSTR: return TextOf(v);
        case VTYPE_I4: return text::FromUtf8(std::to_string(v.VarEnum.lVal));
        case VTYPE_R8: return platform::FormatDouble(v.VarEnum.dblVal);
        case VTYPE_BOOL: return v.VarEnum.bVal != 0 ? u"True" : u"False";
        default: return std::u16string();
    }
}

std::string Number17(double d) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", d);
    return buffer;
}

// What reaches the driver for one input of a handler.
std::string DriverInput(const TInput& in, const std::vector<V8Variant>& before) {
    if (in.Kind == TIn::Nothing) return std::string();
    const V8Variant v = before[static_cast<size_t>(in.Arg)];
    switch (in.Kind) {
        case TIn::Text: return U8(TextOf(v));
        case TIn::Bool: return V8GetBool(&v) ? "true" : "false";
        case TIn::Int: return std::to_string(V8GetInt(&v));
        case TIn::Double: return Number17(V8GetDouble(&v));
        case TIn::Value: return "text:" + U8(ValueAsText(v));
        case TIn::Timeout: {
            const int32_t timeout = V8GetInt(&v);
            return std::to_string(timeout == 0 ? 10000 : timeout);
        }
        case TIn::Nothing: break;
    }
    return std::string();
}

// --- The prediction ------------------------------------------------------------------

struct TOutcome {
    enum TFailure { None, Logged, Reported };
    bool Answer = true;
    TFailure Failure = None;
    std::u16string Message;
    bool Trace = false;
    bool HasJournal = false;
    std::string Journal;
    std::vector<int32_t> VersionWrites;
    int CreationAttempts = 0;
    int MainControlReads = 0;
    bool ReadsDone = false;     // the handler got past its count check and read its inputs
    enum { NoDocument, OwnDocument, AdapterDocument } Document = NoDocument;
    int32_t IntResult = 0;
};

class TPredictor {
public:
    TPredictor(THarness& h, TObject& o, const TMethod& m, int32_t count, const std::vector<V8Variant>& before)
        : H(h), O(o), M(m), Count(count), Before(before) {}

    TOutcome Run() {
        switch (M.Flow) {
            case TFlow::Revision:
                if (!SetVersion(47, TOutcome::Reported)) break;
                Out.Trace = true;
                Journal();
                Out.IntResult = OpFails() ? FallbackRevision : recdriver::InterfaceRevision;
                break;
            case TFlow::Description:
                Description();
                break;
            case TFlow::Version46:
                if (!SetVersion(46, TOutcome::Reported)) break;
                Out.Trace = true;
                Pattern(TOutcome::Logged, false);
                break;
            case TFlow::AppInfo:
                Out.Trace = true;
                Pattern(TOutcome::Reported, false);
                break;
            case TFlow::Status:
                Out.Trace = true;
                Pattern(TOutcome::Logged, true);
                break;
            case TFlow::ProcessCheck:
                Out.Trace = true;
                if (!SetVersion(30, TOutcome::Logged)) break;
                Pattern(TOutcome::Logged, false);
                break;
            case TFlow::Pattern:
                Out.Trace = true;
                Pattern(TOutcome::Logged, false);
                break;
        }
        return Out;
    }

private:
    bool Fail(TOutcome::TFailure how, const std::u16string& message) {
        Out.Answer = false;
        Out.Failure = how;
        Out.Message = message;
        return false;
    }

    bool Obtain() {
        if (O.HasDriver) return true;
        ++Out.CreationAttempts;
        if (H.State.CreationFails) return false;
        O.HasDriver = true;
        return true;
    }

    bool OpFails() const { return H.State.OperationsFail || H.State.FailingOperation == M.Op; }

    bool SetVersion(int32_t version, TOutcome::TFailure how) {
        if (!O.HasAdapter || !Obtain()) return Fail(how, NoDriver);
        if (H.State.FormatVersionWriteFails) return Fail(how, recdriver::PropertyFailureText());
        Out.VersionWrites.push_back(version);
        H.FormatVersion = version;
        return true;
    }

    bool CountOk(TOutcome::TFailure how) {
        if (M.Required < 0 || Count >= M.Required) return true;
        return Fail(how, u"Incorrect Params count: " + text::FromUtf8(std::to_string(Count)) + u"; Must be: " +
                              text::FromUtf8(std::to_string(M.Required)));
    }

    void Journal() {
        std::string entry = std::string(M.Op) + "(";
        bool first = true;
        auto add = [&](const std::string& part) {
            if (!first) entry += "|";
            entry += part;
            first = false;
        };
        for (const TInput& in : M.Ins) add(DriverInput(in, Before));
        for (int i = 0; i < M.OutTexts; ++i) add("[]");  // the adapter empties out texts
        entry += ")@" + std::to_string(H.FormatVersion);
        Out.HasJournal = true;
        Out.Journal = entry;
    }

    // Count, reads, the adapter's operation; its failures go the given way.
    void Pattern(TOutcome::TFailure how, bool status) {
        if (!CountOk(how)) return;
        Out.ReadsDone = true;
        if (!O.HasAdapter) {
            Fail(how, NoDriver);
            return;
        }
        if (!Obtain()) {
            Fail(how, status ? StatusMessage(EUnexpected) : std::u16string(NoDriver));
            return;
        }
        Journal();
        if (OpFails()) {
            Fail(how, status ? StatusMessage(EUnexpected) : std::u16string(recdriver::OperationFailureText()));
            return;
        }
        Out.IntResult = M.Ret == TRet::LastError ? recdriver::LastErrorCode : 0;
    }

    void Description() {
        if (!SetVersion(47, TOutcome::Reported)) {
            // No driver to ask: the component's own document, nothing logged;
            // only a short argument list fails, reported to the host.
            Out.Answer = true;
            Out.Failure = TOutcome::None;
            Out.Message.clear();
            if (!CountOk(TOutcome::Reported)) return;
            Out.Document = TOutcome::OwnDocument;
            return;
        }
        Out.Trace = true;
        if (!CountOk(TOutcome::Logged)) return;
        // The adapter's document: the version once more, then the driver's
        // version from its main control.
        Out.VersionWrites.push_back(47);
        ++Out.MainControlReads;
        if (H.State.MainControlFails) {
            Fail(TOutcome::Logged, recdriver::MainControlFailureText());
            return;
        }
        Out.Document = TOutcome::AdapterDocument;
    }

    THarness& H;
    TObject& O;
    const TMethod& M;
    const int32_t Count;
    const std::vector<V8Variant>& Before;
    TOutcome Out;
};

// --- Checks of the host values after a call -------------------------------------------

bool SameBytes(const V8Variant& a, const V8Variant& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A text the component wrote: in a block of the host's heap of 2n + 2 bytes,
// zero-terminated, its length stated; or, when the host refused memory, no
// block at all.
NOT_STEERING void CheckTextWritten(THarness& h, const V8Variant& v, const std::u16string* expected, bool refusalPossible,
                      const std::string& what) {
    FUZZ_CHECK(v.vt == VTYPE_PWSTR && v.cbElements == 0, what + ": a text value");
    const char16_t* p = v.VarEnum.vtRecWideString.pwstrVal;
    if (p == nullptr) {
        FUZZ_CHECK(refusalPossible, what + ": no text although the host gave memory");
        FUZZ_CHECK(v.VarEnum.vtRecWideString.wstrLen == 0, what + ": length of a missing text");
        return;
    }
    const size_t n = v.VarEnum.vtRecWideString.wstrLen;
    FUZZ_CHECK(h.MM.Owns(p) && h.MM.BlockSize(p) == 2 * n + 2, what + ": block of the host's heap, 2n + 2 bytes");
    FUZZ_CHECK(p[n] == 0, what + ": terminated");
    if (expected != nullptr)
        FUZZ_CHECK(std::u16string(p, n) == *expected,
                   what + ": " + Printable(std::u16string(p, n)) + " instead of " + Printable(*expected));
}

NOT_STEERING std::u16string Attribute(const std::u16string& doc, const std::u16string& name, bool& found) {
    const std::u16string key = u" " + name + u"=";
    const size_t pos = doc.find(key);
    found = false;
    if (pos == std::u16string::npos || pos + key.size() >= doc.size()) return std::u16string();
    const char16_t quote = doc[pos + key.size()];
    const size_t end = doc.find(quote, pos + key.size() + 1);
    if (end == std::u16string::npos) return std::u16string();
    found = true;
    return doc.substr(pos + key.size() + 1, end - pos - key.size() - 1);
}

NOT_STEERING bool IsVersionText(const std::u16string& s) {
    int parts = 1;
    bool digit = false;
    for (char16_t c : s) {
        if (c == u'.') {
            if (!digit) return false;
            ++parts;
            digit = false;
        } else if (c >= u'0' && c <= u'9') {
            digit = true;
        } else {
            return false;
        }
    }
    return digit && parts == 4;
}

void CheckDocument(const std::u16string& doc, bool own) {
    const std::string what = std::string(own ? "own" : "adapter's") + " description: " + Printable(doc.substr(0, 400));
    FUZZ_CHECK(doc.find(u"<DriverDescription") != std::u16string::npos, what);
    bool found = false;
    FUZZ_CHECK(Attribute(doc, u"MainDriverInstalled", found) == (own ? u"false" : u"true") && found, what);
    const std::u16string version = Attribute(doc, u"DriverVersion", found);
    FUZZ_CHECK(found && version == (own ? u"1.0" : recdriver::MainControlVersion()), what);
    const std::u16string module = Attribute(doc, u"IntegrationComponentVersion", found);
    FUZZ_CHECK(found && (own ? module == u"4007" : IsVersionText(module)), what);
    FUZZ_CHECK(Attribute(doc, u"EquipmentType", found) == u"KKT" && found, what);
    FUZZ_CHECK(Attribute(doc, u"LogIsEnabled", found) == u"true" && found, what);
    FUZZ_CHECK(Attribute(doc, u"LogPath", found).empty() && found, what);
}

const void* BlockOf(const V8Variant& v) {
    const uint32_t t = v.vt & 0xFFF;
    if (t == VTYPE_PSTR || t == VTYPE_PWSTR || t == VTYPE_BLOB) return v.VarEnum.vtRecString.pstrVal;
    return nullptr;
}

// Every text block in the host's values belongs to the host's manager, none
// is held twice, and no other block is live. Without a memory manager the
// component cannot give back the host's blocks of the values it overwrites:
// those are left live (the host frees them here), and nothing else is.
void CheckHostBlocks(THarness& h, const std::vector<const void*>& given, const V8Variant* ret,
                     const std::vector<V8Variant>& params, const std::string& what) {
    std::set<const void*> held;
    auto look = [&](const V8Variant& v) {
        const void* block = BlockOf(v);
        if (block == nullptr) return;
        FUZZ_CHECK(h.MM.Owns(block), what + ": a text block the host never gave");
        FUZZ_CHECK(held.insert(block).second, what + ": one block in two values");
    };
    if (ret != nullptr) look(*ret);
    for (const V8Variant& v : params) look(v);
    FUZZ_CHECK(h.MM.BadFrees() == 0, what + ": a bad free");
    std::vector<void*> orphans;
    for (const void* block : given)
        if (held.count(block) == 0 && h.MM.Owns(block)) orphans.push_back(const_cast<void*>(block));
    FUZZ_CHECK(orphans.empty() || !h.WithMemory, what + ": a host block dropped without FreeMemory");
    FUZZ_CHECK(h.MM.LiveBlocks() == held.size() + orphans.size(),
               what + ": " + std::to_string(h.MM.LiveBlocks()) + " live blocks, " + std::to_string(held.size()) +
                   " held by the host's values");
    for (void* block : orphans) h.MM.HostFree(block);
}

// --- Operations --------------------------------------------------------------------------

int32_t PickIndex(FuzzedDataProvider& fdp, int32_t count) {
    switch (fdp.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: {
            static const int32_t edges[] = {-1, -2, INT32_MIN, INT32_MAX, 37, 38, 255, 65536};
            return fdp.PickValueInArray(edges);
        }
        case 1: return fdp.ConsumeIntegral<int32_t>();
        default: return fdp.ConsumeIntegralInRange<int32_t>(0, count - 1);
    }
}

int32_t PickCount(FuzzedDataProvider& fdp, int32_t registered) {
    int32_t count;
    switch (fdp.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: count = 0; break;
        case 1: {
            static const int32_t negative[] = {-1, -2, -5, INT32_MIN};
            return fdp.PickValueInArray(negative);
        }
        case 2: count = registered + fdp.ConsumeIntegralInRange<int32_t>(1, 6); break;  // more than registered
        case 3: count = fdp.ConsumeIntegralInRange<int32_t>(0, MaxCount); break;
        case 4: case 5: count = registered + fdp.ConsumeIntegralInRange<int32_t>(-2, 1); break;
        default: count = registered; break;
    }
    if (count > MaxCount) count = MaxCount;
    return count;
}

const char* const OperationNames[] = {
    "GetInterfaceRevision", "GetLastError", "GetParameters", "SetParameter", "Open", "Close", "DeviceTest",
    "GetAdditionalActions", "DoAdditionalAction", "GetLocalizationPattern", "SetLocalization",
    "EquipmentParameters", "EquipmentTest", "SetApplicationInformation", "ConnectEquipment",
    "DisconnectEquipment", "EquipmentAutoSetup", "GetDataKKT", "OperationFN", "OpenShift", "CloseShift",
    "ProcessCheck", "ProcessCorrectionCheck", "PrintTextDocument", "CashInOutcome", "PrintXReport",
    "PrintCheckCopy", "GetCurrentStatus", "ReportCurrentStatusOfSettlements", "OpenCashDrawer", "GetLineLength",
    "OpenSessionRegistrationKM", "CloseSessionRegistrationKM", "RequestKM", "GetProcessingKMResult", "ConfirmKM"};

// CallAsFunc (or CallAsProc) of any index, with any count and any values.
void OpCall(THarness& h, TObject& o, TLogWatch& log, FuzzedDataProvider& fdp, bool asProc) {
    const int32_t index = PickIndex(fdp, MethodCount());
    const TMethod* m = MethodAt(index);
    const int32_t count = PickCount(fdp, m != nullptr ? m->Registered : 1);
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;

    // The host's argument array, exactly as long as the count says (null or
    // an empty block when there is nothing), and its result value.
    std::vector<V8Variant> before;
    for (size_t i = 0; i < n; ++i) before.push_back(MakeValue(h, fdp));
    const bool nullArray = n == 0 && fdp.ConsumeBool();
    std::unique_ptr<V8Variant[]> params(nullArray ? nullptr : new V8Variant[n]);
    for (size_t i = 0; i < n; ++i) params[i] = before[i];
    std::unique_ptr<V8Variant> ret(asProc ? nullptr : new V8Variant(MakeValue(h, fdp)));
    const V8Variant retBefore = ret ? *ret : V8Variant{};

    const std::string what = std::string(asProc ? "CallAsProc " : "CallAsFunc ") + std::to_string(index) + " (" +
                             (m != nullptr ? U8(m->Name) : std::string("out of range")) + "), count " +
                             std::to_string(count);

    // The model's view before the call.
    TOutcome expected;
    if (m != nullptr) expected = TPredictor(h, o, *m, count, before).Run();
    const size_t errors = h.Host.Errors().size();
    const size_t calls = h.State.Calls.size();
    const size_t versionWrites = h.State.FormatVersionWrites.size();
    const int attempts = h.State.CreationAttempts;
    const int mainReads = h.State.MainControlReads;
    const size_t refused = h.MM.RefusedCalls();
    log.Delta();

    const hostabi::TLanguageExtender extender = ExtenderOf(o);
    const bool answer = asProc ? extender.CallAsProc(index, params.get(), count)
                               : extender.CallAsFunc(index, ret.get(), params.get(), count);

    std::vector<V8Variant> after(params.get(), params.get() + n);
    const std::string delta = log.Delta();
    const bool refusalPossible = !h.WithMemory || h.MM.RefusedCalls() != refused;

    if (m == nullptr) {
        // An index the class does not have: false, nothing reported, logged,
        // called or written.
        FUZZ_CHECK(!answer, what);
        FUZZ_CHECK(h.Host.Errors().size() == errors, what + ": reported");
        FUZZ_CHECK(delta.empty(), what + ": logged " + delta.substr(0, 200));
        FUZZ_CHECK(h.State.Calls.size() == calls && h.State.CreationAttempts == attempts, what + ": driver used");
        expected.Answer = false;
    } else {
        FUZZ_CHECK(answer == expected.Answer, what + ": answered " + (answer ? "true" : "false"));

        // The failure: one error line or one report, never both.
        const bool reported = expected.Failure == TOutcome::Reported && h.WithConnection;
        FUZZ_CHECK(h.Host.Errors().size() == errors + (reported ? 1 : 0),
                   what + ": " + std::to_string(h.Host.Errors().size() - errors) + " reports");
        if (reported) {
            const fh::TErrorReport& r = h.Host.Errors().back();
            FUZZ_CHECK(r.wcode == AddInFail && r.source == ErrorSource && r.scode == EFail,
                       what + ": report code, source or scode");
            FUZZ_CHECK(r.descr == expected.Message,
                       what + ": reported " + Printable(r.descr) + " instead of " + Printable(expected.Message));
        }
        const size_t errorLines = CountOf(delta, "[ERROR] TExtention30 ");
        FUZZ_CHECK(errorLines == (expected.Failure == TOutcome::Logged ? 1u : 0u),
                   what + ": " + std::to_string(errorLines) + " error lines");
        if (expected.Failure == TOutcome::Logged)
            FUZZ_CHECK(Contains(delta, "[ERROR] TExtention30 " + LogBytes(expected.Message) + "\r\n"),
                       what + ": error line, expected " + U8(expected.Message));
        // Besides, the adapter keeps the cause of every failed creation of
        // the driver object in the log (the host only hears that there is no
        // driver); no other error line.
        const size_t failedCreations = h.State.CreationFails ? static_cast<size_t>(expected.CreationAttempts) : 0;
        const int32_t code = h.State.CreationFailureCode;
        const std::string cause =
            "[ERROR] TDriver30 " + LogBytes(u"Не удалось создать объект драйвера: ") +
            LogBytes(recdriver::CreationFailureText()) + (code != 0 ? " (" + LogBytes(HResultText(code)) + ")" : "") +
            "\r\n";
        FUZZ_CHECK(CountOf(delta, cause) == failedCreations && CountOf(delta, "[ERROR] ") == errorLines + failedCreations,
                   what + ": error lines " + delta.substr(0, 600));

        const std::u16string traceName = m->Flow == TFlow::AppInfo ? u"SetAppInfo" : m->Name;
        const std::string trace =
            "[DEBUG] TExtention30 " + LogBytes(traceName) + " ParamCount = " + std::to_string(count) + "\r\n";
        FUZZ_CHECK(Contains(delta, trace) == expected.Trace, what + ": trace line");

        // The driver: the operation with what was read, the format versions
        // written, the creation attempts.
        FUZZ_CHECK(h.State.Calls.size() == calls + (expected.HasJournal ? 1 : 0), what + ": driver calls");
        if (expected.HasJournal)
            FUZZ_CHECK(h.State.Calls.back() == expected.Journal,
                       what + ": driver saw " + h.State.Calls.back() + " instead of " + expected.Journal);
        FUZZ_CHECK(std::vector<int32_t>(h.State.FormatVersionWrites.begin() + static_cast<std::ptrdiff_t>(versionWrites),
                                        h.State.FormatVersionWrites.end()) == expected.VersionWrites,
                   what + ": format versions written");
        FUZZ_CHECK(h.State.CreationAttempts - attempts == expected.CreationAttempts, what + ": creation attempts");
        FUZZ_CHECK(h.State.MainControlReads - mainReads == expected.MainControlReads, what + ": main control reads");

        // Lines of their own.
        if (expected.Answer && m->Op != nullptr && std::string(m->Op) == "GetParameters") {
            FUZZ_CHECK(Contains(delta, "[DEBUG] TExtention30 GetParameters = " + LogBytes(TextOf(after[0])) + "\r\n"),
                       what + ": second trace line");
        }
        if (expected.ReadsDone && m->Op != nullptr && std::string(m->Op) == "PrintTextDocument") {
            FUZZ_CHECK(Contains(delta, "[DEBUG] DeviceID " + LogBytes(TextOf(before[0])) + "\r\n") &&
                           Contains(delta, "[DEBUG] DocumentPackage " + LogBytes(TextOf(before[1])) + "\r\n"),
                       what + ": the document's lines");
        }
        if (expected.Document == TOutcome::AdapterDocument && expected.Answer) {
            FUZZ_CHECK(Contains(delta, "[DEBUG] TExtention30 GetDescription " + LogBytes(TextOf(after[0])) + "\r\n"),
                       what + ": the description's line");
        }
        if (expected.Document == TOutcome::OwnDocument)
            FUZZ_CHECK(CountOf(delta, "\r\n") == failedCreations,
                       what + ": the own description logs nothing but the creation's cause");
    }

    // The host's values.
    if (!expected.Answer) {
        for (size_t i = 0; i < n; ++i) FUZZ_CHECK(SameBytes(after[i], before[i]), what + ": argument changed");
        if (ret) FUZZ_CHECK(SameBytes(*ret, retBefore), what + ": result changed");
    } else {
        std::vector<bool> written(n, false);
        int textOut = 0;
        for (const TOutput& out : m->Outs) {
            const size_t arg = static_cast<size_t>(out.Arg);
            written[arg] = true;
            const std::string at = what + ": argument " + std::to_string(arg);
            if (out.IsInt) {
                FUZZ_CHECK(after[arg].vt == VTYPE_I4 && after[arg].VarEnum.lVal == out.IntValue, at);
                continue;
            }
            if (expected.Document != TOutcome::NoDocument) {
                CheckTextWritten(h, after[arg], nullptr, refusalPossible, at);
                if (after[arg].VarEnum.vtRecWideString.pwstrVal != nullptr)
                    CheckDocument(TextOf(after[arg]), expected.Document == TOutcome::OwnDocument);
                continue;
            }
            const std::u16string text = text::FromUtf8(std::string(m->Op) + "->" + std::to_string(textOut++));
            CheckTextWritten(h, after[arg], &text, refusalPossible, at);
        }
        for (size_t i = 0; i < n; ++i)
            if (!written[i]) FUZZ_CHECK(SameBytes(after[i], before[i]), what + ": argument " + std::to_string(i) + " changed");
        if (ret) {
            const V8Variant& r = *ret;
            FUZZ_CHECK(r.cbElements == 0, what + ": result's element count");
            if (m->Ret == TRet::Bool) {
                const bool value = expected.Document != TOutcome::NoDocument || h.State.Answer;
                FUZZ_CHECK(r.vt == VTYPE_BOOL && r.VarEnum.bVal == (value ? 1 : 0), what + ": boolean result");
            } else {
                FUZZ_CHECK(r.vt == VTYPE_I4 && r.VarEnum.lVal == expected.IntResult,
                           what + ": integer result " + std::to_string(r.VarEnum.lVal));
            }
        }
    }

    std::vector<const void*> given;
    if (ret && BlockOf(retBefore) != nullptr) given.push_back(BlockOf(retBefore));
    for (const V8Variant& v : before)
        if (BlockOf(v) != nullptr) given.push_back(BlockOf(v));
    CheckHostBlocks(h, given, ret.get(), after, what);
    if (ret) ReleaseValue(h, *ret);
    for (V8Variant& v : after) ReleaseValue(h, v);
    FUZZ_CHECK(h.MM.LiveBlocks() == 0 && h.MM.BadFrees() == 0, what + ": host memory after the release");
    for (const auto& i : h.Interfaces) FUZZ_CHECK(i->Refs == 0, what + ": an interface reference kept or lost");
    h.Interfaces.clear();
}

// GetMethodName: the name in a block of the host's heap; the log switched on
// and named, whatever it was.
void OpMethodName(THarness& h, TObject& o, TLogWatch& log, FuzzedDataProvider& fdp) {
    const int32_t index = PickIndex(fdp, MethodCount());
    const int32_t alias = fdp.ConsumeBool() ? 0 : fdp.ConsumeIntegral<int32_t>();
    if (fdp.ConsumeBool()) GetLogFile().SetEnabled(false);
    const size_t refused = h.MM.RefusedCalls();
    const char16_t* name = ExtenderOf(o).GetMethodName(index, alias);
    const std::string what = "GetMethodName " + std::to_string(index) + ", " + std::to_string(alias);
    const TMethod* m = MethodAt(index);
    if (m == nullptr || !h.WithMemory || h.MM.RefusedCalls() != refused) {
        FUZZ_CHECK(name == nullptr, what + ": a name");
    } else {
        const std::u16string expected = alias != 0 ? m->NameLoc : m->Name;
        FUZZ_CHECK(name != nullptr && h.MM.Owns(name) && h.MM.BlockSize(name) == 2 * expected.size() + 2 &&
                       std::u16string(name) == expected,
                   what + ": " + (name != nullptr ? Printable(name) : std::string("null")));
        h.MM.HostFree(const_cast<char16_t*>(name));
    }
    FUZZ_CHECK(h.MM.LiveBlocks() == 0 && h.MM.BadFrees() == 0, what + ": host memory");
    FUZZ_CHECK(GetLogFile().Enabled() && GetLogFile().FileName() == u"e:\\lll.txt", what + ": the log");
    log.Point();
}

// FindMethod: the first method whose Russian or English name is the text,
// one "_FindMethod: " line for a miss and two for a hit.
void OpFindMethod(TObject& o, TLogWatch& log, FuzzedDataProvider& fdp) {
    std::u16string name;
    bool null = false;
    const TMethod& pick = Methods()[fdp.ConsumeIntegralInRange<size_t>(0, Methods().size() - 1)];
    switch (fdp.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: name = MakeText(fdp); break;
        case 1: null = true; break;
        case 2: name = pick.Name; name[0] = static_cast<char16_t>(name[0] ^ 0x20); break;  // other case
        case 3: name = std::u16string(pick.NameLoc) + MakeText(fdp); break;
        case 4: name = pick.Name; name.pop_back(); break;
        case 5: case 6: name = pick.NameLoc; break;
        default: name = pick.Name; break;
    }
    // The host's text ends at its first zero.
    const std::u16string wanted(name.c_str());
    int32_t expected = -1;
    if (!null)
        for (int32_t i = 0; i < MethodCount() && expected < 0; ++i)
            if (wanted == Methods()[static_cast<size_t>(i)].NameLoc || wanted == Methods()[static_cast<size_t>(i)].Name)
                expected = i;
    log.Delta();
    const int32_t found = ExtenderOf(o).FindMethod(null ? nullptr : name.c_str());
    const std::string what = "FindMethod " + (null ? std::string("null") : Printable(name));
    FUZZ_CHECK(found == expected, what + ": " + std::to_string(found));
    const std::string delta = log.Delta();
    const std::string line = "[DEBUG] _FindMethod: " + std::to_string(expected) + "\r\n";
    FUZZ_CHECK(CountOf(delta, "_FindMethod: ") == (expected >= 0 ? 2u : 1u) &&
                   CountOf(delta, line) == (expected >= 0 ? 2u : 1u),
               what + ": lines " + delta);
}

// The other slots of the method and property tables.
void OpSlots(THarness& h, TObject& o, TLogWatch& log, FuzzedDataProvider& fdp) {
    const hostabi::TLanguageExtender t = ExtenderOf(o);
    const int32_t index = PickIndex(fdp, MethodCount());
    const TMethod* m = MethodAt(index);
    const std::string what = "slot on index " + std::to_string(index);
    const size_t errors = h.Host.Errors().size();
    log.Delta();
    switch (fdp.ConsumeIntegralInRange<int>(0, 13)) {
        case 0: FUZZ_CHECK(t.GetNMethods() == MethodCount(), "GetNMethods"); break;
        case 1: FUZZ_CHECK(t.GetNParams(index) == (m != nullptr ? m->Registered : 0), what + ": GetNParams"); break;
        case 2: FUZZ_CHECK(t.HasRetVal(index) == (m != nullptr), what + ": HasRetVal"); break;
        case 3: {  // no method has defaults: false, the value untouched
            V8Variant v = MakeValue(h, fdp);
            const V8Variant before = v;
            FUZZ_CHECK(!t.GetParamDefValue(index, fdp.ConsumeIntegral<int32_t>(), &v), what + ": GetParamDefValue");
            FUZZ_CHECK(SameBytes(v, before), what + ": default value written");
            ReleaseValue(h, v);
            break;
        }
        case 4: {
            char16_t* name = reinterpret_cast<char16_t*>(&h);  // must be overwritten
            const size_t refused = h.MM.RefusedCalls();
            const bool ok = t.RegisterExtensionAs(&name);
            if (!h.WithMemory || h.MM.RefusedCalls() != refused) {
                FUZZ_CHECK(!ok && name == nullptr, "RegisterExtensionAs without memory");
            } else {
                FUZZ_CHECK(ok && name != nullptr && h.MM.Owns(name) && std::u16string(name) == ClassName &&
                               h.MM.BlockSize(name) == 2 * std::u16string(ClassName).size() + 2,
                           "RegisterExtensionAs");
                h.MM.HostFree(name);
            }
            break;
        }
        case 5: FUZZ_CHECK(t.GetNProps() == 0, "GetNProps"); break;
        case 6: {
            const std::u16string name = MakeText(fdp);
            FUZZ_CHECK(t.FindProp(fdp.ConsumeBool() ? nullptr : name.c_str()) == -1, "FindProp");
            break;
        }
        case 7: FUZZ_CHECK(t.GetPropName(index, fdp.ConsumeIntegral<int32_t>()) == nullptr, what + ": GetPropName"); break;
        case 8: case 9: {  // no properties: false, no report, the value untouched
            V8Variant v = MakeValue(h, fdp);
            const V8Variant before = v;
            const bool got = fdp.ConsumeBool() ? t.GetPropVal(index, &v) : t.SetPropVal(index, &v);
            FUZZ_CHECK(!got && SameBytes(v, before), what + ": property value");
            ReleaseValue(h, v);
            for (const auto& i : h.Interfaces) FUZZ_CHECK(i->Refs == 0, what + ": interface reference");
            h.Interfaces.clear();
            break;
        }
        case 10: FUZZ_CHECK(!t.IsPropReadable(index) && !t.IsPropWritable(index), what + ": property flags"); break;
        case 11: {
            const std::u16string locale = MakeText(fdp);
            const bool null = fdp.ConsumeBool();
            ComponentOf(o).LocaleBase().SetLocale(null ? nullptr : locale.c_str());
            const auto* object = static_cast<const TV8UserObject*>(ComponentOf(o).Word(4));
            FUZZ_CHECK(object->locale == (null ? std::u16string() : std::u16string(locale.c_str())), "SetLocale");
            break;
        }
        case 12: {
            ComponentOf(o).InitDone().Done();
            FUZZ_CHECK(ComponentOf(o).InitDone().GetInfo() == 2000, "GetInfo after Done");
            break;
        }
        default: {  // a class name that is not quite the class's
            const std::u16string name = fdp.ConsumeBool() ? MakeText(fdp) : std::u16string(ClassName) + MakeText(fdp);
            const bool null = fdp.ConsumeBool();
            const bool exact = !null && std::u16string(name.c_str()) == ClassName;
            void* nothing = nullptr;
            FUZZ_CHECK(DestroyObject(&nothing) == 0 && nothing == nullptr, "DestroyObject of nothing");
            void* p = &h;
            const int32_t made = GetClassObject(null ? nullptr : name.c_str(), &p);
            if (exact) {
                FUZZ_CHECK(made == 1 && p != &h, "GetClassObject of the class's name");
                TObject other;
                other.Record = p;
                DestroyRecord(h, other, log);
            } else {
                FUZZ_CHECK(made == 0 && p == &h, "GetClassObject " + Printable(name));
            }
            break;
        }
    }
    FUZZ_CHECK(h.Host.Errors().size() == errors, what + ": a report");
    FUZZ_CHECK(CountOf(log.Delta(), "[ERROR] ") == 0, what + ": an error line");
    FUZZ_CHECK(h.MM.LiveBlocks() == 0 && h.MM.BadFrees() == 0, what + ": host memory");
}

// The stand-in changes its mind between calls.
void OpDriverState(THarness& h, FuzzedDataProvider& fdp) {
    recdriver::TDriverState& s = h.State;
    switch (fdp.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: s.CreationFails = !s.CreationFails; break;
        case 1: s.OperationsFail = !s.OperationsFail; break;
        case 2: s.FailingOperation = fdp.PickValueInArray(OperationNames); break;
        case 3: s.FailingOperation.clear(); break;
        case 4: s.Answer = !s.Answer; break;
        case 5: s.MainControlFails = !s.MainControlFails; break;
        case 6: s.FormatVersionWriteFails = !s.FormatVersionWriteFails; break;
        default: s.AdapterCreationFails = !s.AdapterCreationFails; break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RegisterExtention30(ClassRegList(), &NewFuzzComponent);
    TLogWatch::Instance().Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    TLogWatch& log = TLogWatch::Instance();
    log.Reset();

    auto h = std::make_unique<THarness>();
    recdriver::TDriverState& s = h->State;
    const uint16_t flags = fdp.ConsumeIntegral<uint16_t>();
    s.AdapterCreationFails = (flags & 0x7) == 0x7;
    s.CreationFails = (flags & 0x18) == 0x18;
    s.FormatVersionWriteFails = (flags & 0xE0) == 0xE0;
    s.MainControlFails = (flags & 0x700) == 0x700;
    s.OperationsFail = (flags & 0x3800) == 0x3800;
    s.Answer = (flags & 0x4000) == 0;
    if (flags & 0x8000) s.CreationFailureCode = 0;  // a failure without a code
    h->WithConnection = fdp.ConsumeIntegralInRange<int>(0, 15) != 0;
    h->WithMemory = fdp.ConsumeIntegralInRange<int>(0, 15) != 0;
    if (fdp.ConsumeIntegralInRange<int>(0, 3) == 0) s.FailingOperation = fdp.PickValueInArray(OperationNames);
    s.FormatVersion = fdp.ConsumeIntegralInRange<int32_t>(-1, 50);
    h->FormatVersion = s.FormatVersion;
    platform::SetUserDecimalSeparatorForTests(fdp.ConsumeBool() ? u',' : u'.');
    recdriver::SetState(&s);

    const int objects = fdp.ConsumeBool() ? 2 : 1;
    for (int i = 0; i < objects; ++i) CreateObject(*h, h->Objects[i], log);

    for (int op = 0; op < 32 && fdp.remaining_bytes() > 0; ++op) {
        TObject& o = h->Objects[objects == 2 ? fdp.ConsumeIntegralInRange<int>(0, 1) : 0];
        switch (fdp.ConsumeIntegralInRange<int>(0, 15)) {
            case 8: OpCall(*h, o, log, fdp, true); break;
            case 9: OpMethodName(*h, o, log, fdp); break;
            case 10: OpFindMethod(o, log, fdp); break;
            case 11: case 12: OpSlots(*h, o, log, fdp); break;
            case 13: OpDriverState(*h, fdp); break;
            case 14: h->MM.RefuseNext(fdp.ConsumeIntegralInRange<int>(0, 3)); break;
            case 15:
                DestroyRecord(*h, o, log);
                CreateObject(*h, o, log);
                break;
            default: OpCall(*h, o, log, fdp, false); break;
        }
    }

    for (TObject& o : h->Objects) DestroyRecord(*h, o, log);
    FUZZ_CHECK(s.Created == s.Destroyed, "every driver object destroyed with its component");
    FUZZ_CHECK(h->MM.LiveBlocks() == 0 && h->MM.BadFrees() == 0, "host memory at the end");
    FUZZ_CHECK(h->Host.OtherCalls() == 0, "the connection is used only for AddError");
    if (!h->WithConnection) FUZZ_CHECK(h->Host.Errors().empty(), "a report without a connection");
    recdriver::SetState(nullptr);
    platform::SetUserDecimalSeparatorForTests(0);
    return 0;
}
