// hostsim testaddin <KelmorTestAddin.dll>: drives the test-only add-in
// through every export and slot as the host does and checks the answers.
// Exit code: the number of failed checks.
#include <string>
#include <vector>

#include "tests/wine/hostsim/callprobe.h"
#include "tests/wine/hostsim/hostlib.h"

namespace {

using hostsim::TCheckList;
using hostsim::THostLibrary;
using hostsim::THostObject;
using hostsim::THostSession;

const wchar_t* const LogPath = L"e:\\lll.txt";

struct TMethodRow {
    std::u16string English;
    std::u16string Russian;
    int32_t ParamCount;
    bool IsFunction;
};

const std::vector<TMethodRow> Methods = {
    {u"Greet", u"Поприветствовать", 1, true},
    {u"Add", u"Сложить", 2, true},
    {u"Fail", u"Сбойнуть", 1, true},
    {u"SetText", u"ЗаписатьТекст", 2, false},
};

void CheckNames(TCheckList& c, THostLibrary& lib) {
    c.Section("exports and class names");
    const char16_t* first = lib.GetClassNames();
    c.Equal(first ? std::u16string(first) : u"<null>", u"KelmorTestAddin|KelmorTestSecond", "GetClassNames");
    const std::vector<std::u16string> again = lib.ClassNames();
    c.Check(again.size() == 2 && again[0] == u"KelmorTestAddin" && again[1] == u"KelmorTestSecond",
            "GetClassNames again gives the same two names");

    THostObject probe(lib);
    for (const std::u16string& wrong : {std::u16string(u"kelmortestaddin"), std::u16string(u"KelmorTestAddin "),
                                        std::u16string(u"")}) {
        int32_t r = probe.Create(wrong);
        c.Check(r == 0 && probe.Untouched(), "GetClassObject(\"" + hostsim::Utf8(wrong) + "\") gives 0, location untouched",
                "result " + std::to_string(r));
    }
    void* location = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5EED));
    int32_t r = lib.GetClassObject(nullptr, &location);
    c.Check(r == 0 && location == reinterpret_cast<void*>(static_cast<uintptr_t>(0x5EED)),
            "GetClassObject(null name) gives 0");
    void* nothing = nullptr;
    c.Equal(lib.DestroyObject(&nothing), 0, "DestroyObject on a null location gives 0");
}

void CheckRecord(TCheckList& c, THostObject& obj) {
    c.Section("object record");
    c.Check(obj.Word(0) != nullptr && obj.Word(1) != nullptr && obj.Word(2) != nullptr, "words 0-2 hold the tables");
    c.Check(obj.Word(3) == nullptr, "word 3 is zero");
    c.Check(obj.Word(4) != nullptr && obj.Word(4) == obj.Word(5) && obj.Word(5) == obj.Word(6),
            "words 4-6 hold the same object");
}

void CheckMethods(TCheckList& c, THostObject& obj) {
    c.Section("methods in both languages");
    c.Equal(obj.GetNMethods(), static_cast<int64_t>(Methods.size()), "GetNMethods");
    for (size_t i = 0; i < Methods.size(); ++i) {
        const TMethodRow& m = Methods[i];
        const std::string en = hostsim::Utf8(m.English), ru = hostsim::Utf8(m.Russian);
        c.Equal(obj.FindMethod(m.English), static_cast<int64_t>(i), "FindMethod(" + en + ")");
        c.Equal(obj.FindMethod(m.Russian), static_cast<int64_t>(i), "FindMethod(" + ru + ")");
        c.Equal(obj.GetMethodName(static_cast<int32_t>(i), 0), m.English, "GetMethodName(" + en + ", 0)");
        c.Equal(obj.GetMethodName(static_cast<int32_t>(i), 1), m.Russian, "GetMethodName(" + en + ", 1)");
        c.Equal(obj.GetNParams(static_cast<int32_t>(i)), m.ParamCount, "GetNParams(" + en + ")");
        c.Check(obj.HasRetVal(static_cast<int32_t>(i)) == m.IsFunction, "HasRetVal(" + en + ")");
        V8Variant def = fakehost::I4(-7);
        c.Check(!obj.GetParamDefValue(static_cast<int32_t>(i), 0, def) && def.vt == VTYPE_I4 && def.VarEnum.lVal == -7,
                "GetParamDefValue(" + en + ", 0) gives false and leaves the value");
    }
    // Names compare case-sensitively, Cyrillic included.
    for (const std::u16string& wrong : {std::u16string(u"greet"), std::u16string(u"ПОПРИВЕТСТВОВАТЬ"),
                                        std::u16string(u"Nothing"), std::u16string(u"")}) {
        c.Equal(obj.FindMethod(wrong), -1, "FindMethod(\"" + hostsim::Utf8(wrong) + "\") gives -1");
    }
}

void CheckCalls(TCheckList& c, THostObject& obj, THostSession& host) {
    c.Section("calls");
    {
        std::vector<V8Variant> params = {host.Text(u"Мир")};
        V8Variant result = fakehost::Empty();
        bool ok = obj.CallAsFunc(obj.FindMethod(u"Поприветствовать"), result, params.data(), 1);
        c.Check(ok, "CallAsFunc(Поприветствовать) answers true");
        c.Check(result.vt == VTYPE_PWSTR && fakehost::ReadWString(result) == u"Привет, Мир!",
                "the text result arrives in the result value", hostsim::Describe(result));
        c.Check(result.vt == VTYPE_PWSTR && host.Memory.Owns(result.VarEnum.vtRecWideString.pwstrVal),
                "the result text lives in a block of the host's memory manager");
        host.Release(result);
        host.Release(params);
    }
    {
        std::vector<V8Variant> params = {fakehost::I4(40), fakehost::I4(2)};
        V8Variant result = fakehost::Empty();
        bool ok = obj.CallAsFunc(obj.FindMethod(u"Add"), result, params.data(), 2);
        c.Check(ok && result.vt == VTYPE_I4 && result.VarEnum.lVal == 42, "CallAsFunc(Add, 40, 2) gives I4 42",
                hostsim::Describe(result));
    }
    {
        std::vector<V8Variant> params = {host.Text(u"старое"), host.Text(u"новое")};
        const size_t live = host.Memory.LiveBlocks();
        bool ok = obj.CallAsProc(obj.FindMethod(u"ЗаписатьТекст"), params.data(), 2);
        c.Check(ok && fakehost::ReadWString(params[0]) == u"новое",
                "CallAsProc(ЗаписатьТекст) writes text into the argument", hostsim::Describe(params[0]));
        c.Equal(static_cast<int64_t>(host.Memory.LiveBlocks()), static_cast<int64_t>(live),
                "the argument's old text block was freed through the host");
        host.Release(params);
    }
}

void CheckFailure(TCheckList& c, THostObject& obj, THostSession& host) {
    c.Section("failure reported to the host");
    host.Connection.ClearErrors();
    std::vector<V8Variant> params = {host.Text(u"деталь")};
    V8Variant result = fakehost::Empty();
    bool ok = obj.CallAsFunc(obj.FindMethod(u"Fail"), result, params.data(), 1);
    c.Check(!ok, "CallAsFunc(Fail) answers false");
    const auto& errors = host.Connection.Errors();
    c.Equal(static_cast<int64_t>(errors.size()), 1, "one AddError");
    if (!errors.empty()) {
        const fakehost::TErrorReport& e = errors.front();
        c.Equal(e.wcode, 1006, "AddError code 1006");
        c.Equal(e.source, u"Внешняя компонента", "AddError source");
        c.Equal(e.descr, u"Сбой: деталь", "AddError description is the failure's message");
        c.Equal(e.scode, static_cast<int32_t>(0x80004005u), "AddError scode 0x80004005");
    }
    host.Release(result);
    host.Release(params);
}

void CheckProperty(TCheckList& c, THostObject& obj, THostSession& host) {
    c.Section("property");
    c.Equal(obj.GetNProps(), 2, "GetNProps");
    c.Equal(obj.FindProp(u"Counter"), 0, "FindProp(Counter)");
    c.Equal(obj.FindProp(u"Счётчик"), 0, "FindProp(Счётчик)");
    c.Equal(obj.FindProp(u"counter"), -1, "FindProp(counter) gives -1");
    c.Equal(obj.GetPropName(0, 0), u"Counter", "GetPropName(0, 0)");
    c.Equal(obj.GetPropName(0, 1), u"Счётчик", "GetPropName(0, 1)");
    c.Check(obj.IsPropReadable(0) && obj.IsPropWritable(0), "Counter is readable and writable");
    c.Equal(obj.FindProp(u"Ревизия"), 1, "FindProp(Ревизия)");
    c.Equal(obj.GetPropName(1, 0), u"Revision", "GetPropName(1, 0)");
    c.Check(obj.IsPropReadable(1) && !obj.IsPropWritable(1), "Revision is readable, not writable");
    V8Variant revision = fakehost::Empty();
    c.Check(obj.GetPropVal(1, revision) && revision.vt == VTYPE_I4 && revision.VarEnum.lVal == 3,
            "GetPropVal(Revision) gives 3", hostsim::Describe(revision));
    V8Variant v = fakehost::I4(7);
    c.Check(obj.SetPropVal(0, v), "SetPropVal(Counter, 7)");
    V8Variant got = fakehost::Empty();
    c.Check(obj.GetPropVal(0, got) && got.vt == VTYPE_I4 && got.VarEnum.lVal == 7, "GetPropVal(Counter) gives 7",
            hostsim::Describe(got));
    host.Connection.ClearErrors();
    V8Variant text = host.Text(u"семь");
    c.Check(!obj.SetPropVal(0, text), "SetPropVal(Counter, text) answers false");
    c.Check(host.Connection.Errors().size() == 1 && host.Connection.Errors()[0].descr == u"Counter: нужно число",
            "the accessor's failure reaches AddError");
    host.Release(text);
}

#if HOSTSIM_HAS_CALL_PROBE
// Every slot must remove its own arguments (stdcall) and every export must
// leave them to the caller (cdecl), as the host's compiler expects.
void CheckConventions(TCheckList& c, THostLibrary& lib, THostObject& obj, THostSession& host) {
    c.Section("i386 calling conventions");
    auto u = [](const void* p) { return reinterpret_cast<uintptr_t>(p); };
    namespace idt = hostabi::InitDone;
    namespace ext = hostabi::LanguageExtender;
    namespace loc = hostabi::LocaleBase;
    const hostabi::TInitDone initDone = obj.InitDoneSlots();
    const hostabi::TLanguageExtender language = obj.ExtSlots();
    const hostabi::TLocaleBase locale = obj.LocaleSlots();
    const uintptr_t v0 = u(obj.InitDone()), v1 = u(obj.LanguageExtender()), v2 = u(obj.LocaleBase());
    const int32_t add = obj.FindMethod(u"Add"), setText = obj.FindMethod(u"SetText"), fail = obj.FindMethod(u"Fail");

    V8Variant value = fakehost::Empty(), result = fakehost::Empty(), counter = fakehost::I4(3);
    std::vector<V8Variant> sum = {fakehost::I4(1), fakehost::I4(2)};
    std::vector<V8Variant> text = {host.Text(u"a"), host.Text(u"b")};
    std::vector<V8Variant> failure = {host.Text(u"x")};
    char16_t* extName = nullptr;
    struct TRow {
        const char* Name;
        const void* Fn;
        std::vector<uintptr_t> Args;
        bool HandsOutText;
    };
    const std::vector<TRow> slots = {
        {"Init", initDone.SlotAddress(idt::Init), {v0, u(host.Connection.Connection())}, false},
        {"SetMemManager", initDone.SlotAddress(idt::SetMemManager), {v0, u(host.Memory.Manager())}, false},
        {"GetInfo", initDone.SlotAddress(idt::GetInfo), {v0}, false},
        {"SetLocale", locale.SlotAddress(loc::SetLocale), {v2, u(u"ru_RU")}, false},
        {"RegisterExtensionAs", language.SlotAddress(ext::RegisterExtensionAs), {v1, u(&extName)}, false},
        {"GetNProps", language.SlotAddress(ext::GetNProps), {v1}, false},
        {"FindProp", language.SlotAddress(ext::FindProp), {v1, u(u"Counter")}, false},
        {"GetPropName", language.SlotAddress(ext::GetPropName), {v1, 0, 1}, true},
        {"SetPropVal", language.SlotAddress(ext::SetPropVal), {v1, 0, u(&counter)}, false},
        {"GetPropVal", language.SlotAddress(ext::GetPropVal), {v1, 0, u(&value)}, false},
        {"IsPropReadable", language.SlotAddress(ext::IsPropReadable), {v1, 0}, false},
        {"IsPropWritable", language.SlotAddress(ext::IsPropWritable), {v1, 0}, false},
        {"GetNMethods", language.SlotAddress(ext::GetNMethods), {v1}, false},
        {"FindMethod", language.SlotAddress(ext::FindMethod), {v1, u(u"Сложить")}, false},
        {"GetMethodName", language.SlotAddress(ext::GetMethodName), {v1, static_cast<uintptr_t>(add), 1}, true},
        {"GetNParams", language.SlotAddress(ext::GetNParams), {v1, static_cast<uintptr_t>(add)}, false},
        {"GetParamDefValue", language.SlotAddress(ext::GetParamDefValue),
         {v1, static_cast<uintptr_t>(add), 0, u(&value)}, false},
        {"HasRetVal", language.SlotAddress(ext::HasRetVal), {v1, static_cast<uintptr_t>(add)}, false},
        {"CallAsFunc", language.SlotAddress(ext::CallAsFunc),
         {v1, static_cast<uintptr_t>(add), u(&result), u(sum.data()), 2}, false},
        {"CallAsFunc (failing handler)", language.SlotAddress(ext::CallAsFunc),
         {v1, static_cast<uintptr_t>(fail), u(&result), u(failure.data()), 1}, false},
        {"CallAsProc", language.SlotAddress(ext::CallAsProc),
         {v1, static_cast<uintptr_t>(setText), u(text.data()), 2}, false},
        {"Done", initDone.SlotAddress(idt::Done), {v0}, false},
    };
    for (const TRow& row : slots) {
        uintptr_t answer = 0;
        const int32_t drift = row.Fn != nullptr ? hostsim::CallProbe(row.Fn, row.Args, &answer) : -1;
        c.Equal(drift, 0, std::string("slot ") + row.Name + " removes its " + std::to_string(row.Args.size()) +
                              " argument(s) (stdcall)");
        if (row.HandsOutText && answer != 0) {
            void* block = reinterpret_cast<void*>(answer);
            host.Memory.Manager()->vtbl->FreeMemory(host.Memory.Manager(), &block);
        }
    }
    if (extName != nullptr) {
        void* block = extName;
        host.Memory.Manager()->vtbl->FreeMemory(host.Memory.Manager(), &block);
    }
    c.Check(result.vt == VTYPE_I4 && result.VarEnum.lVal == 3, "CallAsFunc through the probe computed 1 + 2",
            hostsim::Describe(result));
    host.Release(value);
    host.Release(result);
    host.Release(sum);
    host.Release(text);
    host.Release(failure);

    // Slot 0 of each table is the deleting destructor, thiscall as the host's
    // compiler calls it: the view in ECX, the flags on the stack, removed by
    // the callee; it answers the view and ends the object and its record.
    const char* const viewNames[] = {"IInitDone", "ILanguageExtender", "LocaleBase"};
    for (int k = 0; k < 3; ++k) {
        THostObject doomed(lib);
        if (!c.Check(doomed.Create(u"KelmorTestAddin") == 1, "GetClassObject for a delete through the probe")) continue;
        void* view = static_cast<void**>(doomed.Base()) + k;
        uintptr_t answer = 0;
        const int32_t drift = hostsim::ThiscallProbe(hostabi::SlotAddress(view, 0), {u(view), 1}, &answer);
        c.Equal(drift, 0, std::string("slot 0 of ") + viewNames[k] + " removes its flags argument (thiscall)");
        c.Check(answer == u(view), std::string("slot 0 of ") + viewNames[k] + " answers the view");
        doomed.Forget();  // ended by the slot: no DestroyObject
    }

    void* location = nullptr;
    uintptr_t created = 0;
    const int32_t d1 =
        hostsim::CallProbe(reinterpret_cast<const void*>(lib.GetClassObject), {u(u"KelmorTestAddin"), u(&location)}, &created);
    c.Equal(d1, -8, "export GetClassObject leaves its 2 arguments to the caller (cdecl)");
    if (static_cast<int32_t>(created) == 1 && location != nullptr) {
        const int32_t d2 = hostsim::CallProbe(reinterpret_cast<const void*>(lib.DestroyObject), {u(&location)}, nullptr);
        c.Equal(d2, -4, "export DestroyObject leaves its argument to the caller (cdecl)");
    } else {
        c.Check(false, "export GetClassObject through the probe created an object");
    }
}
#endif

int Run(const std::vector<std::wstring>& args) {
    TCheckList c;
    if (args.size() != 1) {
        hostsim::Say("usage: hostsim testaddin <KelmorTestAddin.dll>\n");
        return 2;
    }
    DeleteFileW(LogPath);

    THostLibrary lib;
    if (!c.Check(lib.Load(args[0]), "LoadLibraryW and the three exports", lib.Error())) return c.Summary();
    CheckNames(c, lib);

    THostSession host;
    {
        THostObject obj(lib);
        c.Section("creation and IInitDone");
        if (!c.Check(obj.Create(u"KelmorTestAddin") == 1 && obj.Valid(), "GetClassObject(KelmorTestAddin) gives 1"))
            return c.Summary();
        CheckRecord(c, obj);

        // Before the host hands its memory manager nothing can be handed out.
        bool named = true;
        obj.GetMethodName(0, 0, &named);
        c.Check(!named, "GetMethodName before SetMemManager gives null");
        std::u16string ext;
        c.Check(!obj.RegisterExtensionAs(ext), "RegisterExtensionAs before SetMemManager gives false");

        c.Check(obj.Init(host.Connection.Connection()), "Init gives true");
        c.Check(obj.SetMemManager(host.Memory.Manager()), "SetMemManager gives true");
        c.Equal(obj.GetInfo(), 2000, "GetInfo");
        obj.SetLocale(u"ru_RU");
        obj.SetLocale(nullptr);
        c.Check(obj.RegisterExtensionAs(ext) && ext == u"KelmorTestExt", "RegisterExtensionAs gives KelmorTestExt",
                hostsim::Utf8(ext));

        CheckMethods(c, obj);
        CheckCalls(c, obj, host);
        CheckFailure(c, obj, host);
        CheckProperty(c, obj, host);
#if HOSTSIM_HAS_CALL_PROBE
        CheckConventions(c, lib, obj, host);
#endif

        c.Section("several objects");
        THostObject second(lib), other(lib);
        c.Check(second.Create(u"KelmorTestAddin") == 1 && second.Base() != obj.Base() && second.Word(4) != obj.Word(4),
                "a second GetClassObject gives a new record and a new object");
        c.Check(other.Create(u"KelmorTestSecond") == 1 && other.GetNMethods() == 0,
                "the second class has its own (empty) method table");
        c.Equal(second.Destroy(), 0, "DestroyObject of the second object");
        c.Equal(other.Destroy(), 0, "DestroyObject of the other class's object");

        c.Section("end of the session");
        obj.Done();
        c.Equal(obj.Destroy(), 0, "DestroyObject gives 0");
    }
    c.Equal(static_cast<int64_t>(host.Memory.LiveBlocks()), 0, "host memory balanced: no live blocks");
    c.Equal(static_cast<int64_t>(host.Memory.BadFrees()), 0, "no foreign or double frees");
    c.Equal(static_cast<int64_t>(host.Connection.OtherCalls()), 0, "only AddError was called on the connection");

    lib.Unload();
    std::string log;
    c.Check(hostsim::ReadFileBytes(LogPath, log), "the log e:\\lll.txt exists after GetMethodName");
    c.Check(log.find("_GetMethodName ") != std::string::npos && log.find("_FindMethod: ") != std::string::npos,
            "the log holds the _GetMethodName and _FindMethod lines");
    return c.Summary();
}

const hostsim::THostMode Mode("testaddin", "<KelmorTestAddin.dll>   checks of the host interface", &Run);

}  // namespace
