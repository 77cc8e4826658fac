// Check 3: creating the driver as the host does. On a thread of its own with
// COM set up as the host's thread (a single-threaded apartment), the tool
// creates an object of the add-in, hands it a memory manager and a connection
// laid out as the host's, finds "GetDescription" and calls it. Names are only
// looked up with FindMethod: asking the add-in for a method's name switches
// its log on, and the tool must leave the log alone.
//
// When the driver cannot be created the host hears only "Объект драйвера не
// установлен" (the cause goes to the add-in's log, which the tool leaves
// alone), so the tool then creates the driver's class itself to get the
// system's error.
#include <ole2.h>
#include <oleauto.h>
#include <msxml2.h>

#include <vector>

#include "hostapi/componentbase.h"
#include "hostapi/v8types.h"
#include "kelmorcheck/checks.h"

namespace kelmorcheck {

namespace {

constexpr DWORD CreationTimeoutMs = 120000;

// --- The host's side: memory manager and connection ------------------------------

// Blocks come from the process heap; the tool frees the texts it receives.
struct TMemoryManager {
    TV8MemoryManager Base;

    static V8Bool V8_CALL AllocMemory(TV8MemoryManager*, void** memory, uint32_t bytes) {
        if (memory == nullptr) return false;
        *memory = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes > 0 ? bytes : 1);
        return *memory != nullptr;
    }
    static void V8_CALL FreeMemory(TV8MemoryManager*, void** memory) {
        if (memory == nullptr || *memory == nullptr) return;
        HeapFree(GetProcessHeap(), 0, *memory);
        *memory = nullptr;
    }
};

const TV8MemoryManagerVtbl MemoryManagerVtbl = {nullptr, &TMemoryManager::AllocMemory, &TMemoryManager::FreeMemory};

// Records the error reports; every other slot answers "no". The add-in sees
// Base, the first member, and the slots find the record from it.
struct TConnection {
    TV8AddInDefBase Base;
    std::vector<std::u16string>* Errors;

    static V8Bool V8_CALL AddError(TV8AddInDefBase* self, uint16_t, const char16_t* source, const char16_t* descr,
                                   int32_t scode) {
        std::u16string text = descr != nullptr ? std::u16string(descr) : std::u16string();
        if (source != nullptr && *source) text = std::u16string(source) + u": " + text;
        reinterpret_cast<TConnection*>(self)->Errors->push_back(text + u" (" +
                                                                Hex32(static_cast<uint32_t>(scode)) + u")");
        return true;
    }
    static V8Bool V8_CALL Read(TV8AddInDefBase*, char16_t*, V8Variant*, int32_t*, char16_t**) { return false; }
    static V8Bool V8_CALL Write(TV8AddInDefBase*, char16_t*, V8Variant*) { return false; }
    static V8Bool V8_CALL RegisterProfileAs(TV8AddInDefBase*, char16_t*) { return false; }
    static V8Bool V8_CALL SetEventBufferDepth(TV8AddInDefBase*, int32_t) { return false; }
    static int32_t V8_CALL GetEventBufferDepth(TV8AddInDefBase*) { return 0; }
    static V8Bool V8_CALL ExternalEvent(TV8AddInDefBase*, char16_t*, char16_t*, char16_t*) { return false; }
    static void V8_CALL CleanEventBuffer(TV8AddInDefBase*) {}
    static V8Bool V8_CALL SetStatusLine(TV8AddInDefBase*, char16_t*) { return false; }
    static void V8_CALL ResetStatusLine(TV8AddInDefBase*) {}
    static const TV8AppInfo* V8_CALL GetPlatformInfo(TV8AddInDefBase*) {
        static const TV8AppInfo info = {u"", 0, u"kelmorcheck"};
        return &info;
    }
    static V8Bool V8_CALL Alert(TV8AddInDefBase*, const char16_t*) { return false; }
};

const TV8AddInDefBaseVtbl ConnectionVtbl = {
    nullptr,
    &TConnection::AddError,
    &TConnection::Read,
    &TConnection::Write,
    &TConnection::RegisterProfileAs,
    &TConnection::SetEventBufferDepth,
    &TConnection::GetEventBufferDepth,
    &TConnection::ExternalEvent,
    &TConnection::CleanEventBuffer,
    &TConnection::SetStatusLine,
    &TConnection::ResetStatusLine,
    &TConnection::GetPlatformInfo,
    &TConnection::Alert,
};

// --- COM helpers ----------------------------------------------------------------------

template <class T>
struct TRef {
    T* P = nullptr;
    TRef() = default;
    TRef(const TRef&) = delete;
    TRef& operator=(const TRef&) = delete;
    ~TRef() {
        if (P != nullptr) P->Release();
    }
    T** operator&() { return &P; }
    T* operator->() const { return P; }
};

struct TBstr {
    BSTR B = nullptr;
    explicit TBstr(const std::u16string& s = std::u16string())
        : B(s.empty() ? nullptr : SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()),
                                                    static_cast<UINT>(s.size()))) {}
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;
    ~TBstr() { SysFreeString(B); }
    std::u16string Text() const {
        return B != nullptr ? std::u16string(reinterpret_cast<const char16_t*>(B), SysStringLen(B))
                            : std::u16string();
    }
};

GUID Guid(const char16_t* text) {
    GUID g = {};
    CLSIDFromString(const_cast<LPOLESTR>(W(text)), &g);
    return g;
}

const CLSID ClsidDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const CLSID ClsidDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID IidXmlDomDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

constexpr DISPID FormatVersionId = 217;
constexpr DISPID DriverVersionId = 1932;

// The text of a failed Invoke: the description the driver left, else the
// system's.
std::u16string InvokeFailure(HRESULT hr, const EXCEPINFO& info) {
    if (hr == DISP_E_EXCEPTION) {
        std::u16string text = info.bstrDescription != nullptr ? U16(info.bstrDescription) : std::u16string();
        const HRESULT code = info.scode != 0 ? info.scode : static_cast<HRESULT>(info.wCode);
        if (!text.empty()) return u"«" + text + u"» (" + Hex32(static_cast<uint32_t>(code)) + u")";
        return SystemText(static_cast<uint32_t>(code));
    }
    return SystemText(static_cast<uint32_t>(hr));
}

void ClearExcepInfo(EXCEPINFO& info) {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO();
}

// --- The run on the apartment thread -------------------------------------------------

struct TDescription {
    bool Parsed = false;
    std::u16string Error;
    std::u16string MainDriverInstalled;
    std::u16string DriverVersion;
};

TDescription ParseDescription(const std::u16string& text) {
    TDescription result;
    TRef<IXMLDOMDocument> doc;
    HRESULT hr = CoCreateInstance(ClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IidXmlDomDocument,
                                  reinterpret_cast<void**>(&doc));
    if (FAILED(hr))
        hr = CoCreateInstance(ClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IidXmlDomDocument,
                              reinterpret_cast<void**>(&doc));
    if (FAILED(hr) || doc.P == nullptr) {
        result.Error = u"MSXML недоступен: " + SystemText(static_cast<uint32_t>(hr));
        return result;
    }
    doc->put_async(VARIANT_FALSE);
    TBstr source(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = doc->loadXML(source.B, &loaded);
    TRef<IXMLDOMElement> root;
    if (FAILED(hr) || loaded == VARIANT_FALSE || FAILED(doc->get_documentElement(&root)) || root.P == nullptr) {
        TRef<IXMLDOMParseError> error;
        TBstr reason;
        if (SUCCEEDED(doc->get_parseError(&error)) && error.P != nullptr) error->get_reason(&reason.B);
        result.Error = u"ответ не разбирается как XML: " + reason.Text();
        return result;
    }
    auto attribute = [&](const char16_t* name) {
        TBstr key{std::u16string(name)};
        VARIANT value;
        VariantInit(&value);
        std::u16string text;
        if (root->getAttribute(key.B, &value) == S_OK && value.vt == VT_BSTR && value.bstrVal != nullptr)
            text = U16(value.bstrVal);
        VariantClear(&value);
        return text;
    };
    result.MainDriverInstalled = attribute(u"MainDriverInstalled");
    result.DriverVersion = attribute(u"DriverVersion");
    result.Parsed = true;
    return result;
}

struct TRun {
    const TContext* Context = nullptr;
    HRESULT ComInit = S_OK;
    bool Created = false;        // GetClassObject answered 1
    int32_t MethodIndex = -1;
    bool CallOk = false;         // CallAsFunc answered true
    bool Answer = false;         // the result value, a Boolean
    bool AnswerIsBool = false;
    bool DocumentGiven = false;  // argument 0 came back as text
    std::u16string Document;
    std::vector<std::u16string> HostErrors;
    TDescription Description;
    // What creating the classes directly gives, when the add-in did not get
    // through.
    bool Probed = false;
    HRESULT DriverCreate = S_OK;
    HRESULT DriverInterface = S_OK;
    HRESULT FormatVersion = S_OK;
    std::u16string FormatVersionText;
    HRESULT MainCreate = S_OK;
    HRESULT VersionRead = S_OK;
    std::u16string VersionReadText;
};

// Creates the driver's classes as the add-in does (in-process or local
// server, asking for IOleObject) and tries what the add-in tries next.
void Probe(TRun& run) {
    run.Probed = true;
    {
        TRef<IOleObject> driver;
        run.DriverCreate = CoCreateInstance(Guid(DriverClassText), nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                            IID_IOleObject, reinterpret_cast<void**>(&driver));
        if (FAILED(run.DriverCreate)) return;
        TRef<IUnknown> dual;
        run.DriverInterface = driver->QueryInterface(Guid(DriverInterfaceText), reinterpret_cast<void**>(&dual));
        if (FAILED(run.DriverInterface)) return;
        TRef<IDispatch> dispatch;
        run.FormatVersion = driver->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
        if (FAILED(run.FormatVersion)) {
            run.FormatVersionText = SystemText(static_cast<uint32_t>(run.FormatVersion));
            return;
        }
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_I4;
        value.lVal = 47;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {&value, &named, 1, 1};
        EXCEPINFO info = {};
        run.FormatVersion =
            dispatch->Invoke(FormatVersionId, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, &info, nullptr);
        if (FAILED(run.FormatVersion)) run.FormatVersionText = InvokeFailure(run.FormatVersion, info);
        ClearExcepInfo(info);
        if (FAILED(run.FormatVersion)) return;
    }
    TRef<IOleObject> main;
    run.MainCreate = CoCreateInstance(Guid(MainClassText), nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                      IID_IOleObject, reinterpret_cast<void**>(&main));
    if (FAILED(run.MainCreate)) return;
    TRef<IDispatch> dispatch;
    run.VersionRead = main->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    if (SUCCEEDED(run.VersionRead)) {
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        VARIANT version;
        VariantInit(&version);
        EXCEPINFO info = {};
        run.VersionRead =
            dispatch->Invoke(DriverVersionId, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &version, &info, nullptr);
        if (FAILED(run.VersionRead)) run.VersionReadText = InvokeFailure(run.VersionRead, info);
        ClearExcepInfo(info);
        VariantClear(&version);
    } else {
        run.VersionReadText = SystemText(static_cast<uint32_t>(run.VersionRead));
    }
}

void Call(TRun& run) {
    const TContext& context = *run.Context;
    TMemoryManager memory{{&MemoryManagerVtbl}};
    TConnection connection{{&ConnectionVtbl}, &run.HostErrors};
    void* base = nullptr;
    run.Created = context.GetClassObject(ClassName, &base) == 1 && base != nullptr;
    if (!run.Created) return;
    const TV8View initDone = base;
    const TV8View extender = static_cast<void**>(base) + 1;
    const auto* initTable = *static_cast<const TInitDoneTable* const*>(initDone);
    const auto* extTable = *static_cast<const TLanguageExtenderTable* const*>(extender);
    initTable->Init(initDone, &connection.Base);
    initTable->SetMemManager(initDone, &memory.Base);
    run.MethodIndex = extTable->FindMethod(extender, u"GetDescription");
    if (run.MethodIndex >= 0) {
        V8Variant result = {};
        V8Variant params[1] = {};
        run.CallOk = extTable->CallAsFunc(extender, run.MethodIndex, &result, params, 1);
        run.AnswerIsBool = result.vt == VTYPE_BOOL;
        run.Answer = run.AnswerIsBool && result.VarEnum.bVal != 0;
        if (params[0].vt == VTYPE_PWSTR) {
            run.DocumentGiven = true;
            const auto& s = params[0].VarEnum.vtRecWideString;
            if (s.pwstrVal != nullptr) run.Document.assign(s.pwstrVal, s.wstrLen);
            void* block = s.pwstrVal;
            memory.Base.vtbl->FreeMemory(&memory.Base, &block);
        }
    }
    context.DestroyObject(&base);
}

DWORD WINAPI ApartmentThread(void* parameter) {
    TRun& run = *static_cast<TRun*>(parameter);
    run.ComInit = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(run.ComInit)) return 0;
    Call(run);
    if (run.DocumentGiven) run.Description = ParseDescription(run.Document);
    if (!run.CallOk || !run.Description.Parsed || run.Description.MainDriverInstalled != u"true") Probe(run);
    CoUninitialize();
    return 0;
}

// --- The findings ---------------------------------------------------------------------

// What to do about an error of creating one of the driver's classes. What
// the registration found comes first: systems answer one fault with
// different codes (Wine answers a library it cannot load with
// E_ACCESSDENIED, Windows with ERROR_BAD_EXE_FORMAT for the other bitness),
// and a class whose file is gone may come back as "not registered".
std::u16string CreationAdvice(HRESULT hr, const TContext& context, const TRegisteredClass& registration) {
    const int bits = context.ProcessBits;
    const std::u16string driver = BitsAdjective(bits, u"ый") + u" драйвер ККТ";
    const std::u16string seeRegistration = u" (см. строки «Регистрация»)";
    if (registration.Registered && !registration.ServerFound)
        return u"нет файла драйвера " + registration.ServerFile + u", указанного в регистрации: переустановите " +
               driver + seeRegistration;
    if (registration.Registered && registration.InprocServer && registration.ServerBits != bits) {
        const std::u16string what = registration.ServerBits != 0
                                        ? BitsAdjective(registration.ServerBits, u"ая") + u" библиотека"
                                        : u"не библиотека Windows для этого процессора";
        return u"зарегистрированный файл драйвера " + registration.ServerFile + u" — " + what + u", " +
               BitsAdjective(bits, u"ая") + u" программа его не загрузит: переустановите драйвер ККТ для " +
               BitsAdjective(bits, u"ого") + u" клиента 1С" + seeRegistration;
    }
    switch (static_cast<uint32_t>(hr)) {
        case 0x80040154u:  // REGDB_E_CLASSNOTREG
        case 0x80040152u:  // REGDB_E_KEYMISSING: Wine's answer for a class of the other view
            if (registration.Registered)
                return u"система не находит класс, хотя он записан для " + BitsAdjective(bits, u"ых") +
                       u" программ: регистрация неполная или повреждена, переустановите " + driver + seeRegistration;
            return u"класс не зарегистрирован для " + BitsAdjective(bits, u"ых") +
                   u" программ: установите драйвер ККТ этой разрядности" + seeRegistration;
        case 0x800401F8u:  // CO_E_DLLNOTFOUND
        case 0x800401F5u:  // CO_E_APPNOTFOUND
        case 0x80070002u:  // ERROR_FILE_NOT_FOUND
        case 0x80070003u:  // ERROR_PATH_NOT_FOUND
            return u"не найден файл драйвера, указанный в регистрации: переустановите " + driver;
        case 0x8007007Eu:  // ERROR_MOD_NOT_FOUND
            return u"не найден файл драйвера или библиотека, без которой он не загружается: переустановите " + driver;
        case 0x800700C1u:  // ERROR_BAD_EXE_FORMAT
            return u"файл драйвера не подходит для " + BitsAdjective(bits, u"ых") +
                   u" программ (он другой разрядности или повреждён): установите " + driver;
        case 0x800401F9u:  // CO_E_ERRORINDLL
            return u"файл драйвера повреждён: переустановите " + driver;
        case 0x8007045Au:  // ERROR_DLL_INIT_FAILED
            return u"библиотека драйвера загрузилась, но не запустилась: переустановите " + driver +
                   u", если не поможет — обратитесь к поставщику драйвера";
        case 0x80070005u:  // E_ACCESSDENIED
            return u"нет доступа к файлу драйвера или к его регистрации: проверьте права пользователя кассы на папку "
                   u"драйвера";
        case 0x80080005u:  // CO_E_SERVER_EXEC_FAILURE
            return u"программа драйвера (отдельный сервер COM) не запустилась: переустановите драйвер ККТ";
        case 0x80004002u:  // E_NOINTERFACE
            return u"класс зарегистрирован, но это не тот драйвер: переустановите драйвер ККТ";
        case 0x80040111u:  // CLASS_E_CLASSNOTAVAILABLE
            return u"файл драйвера, указанный в регистрации, не создаёт этот класс: там другая версия драйвера, "
                   u"переустановите драйвер ККТ";
        case 0x8007000Eu:  // E_OUTOFMEMORY
            return u"не хватило памяти: закройте лишние программы и повторите проверку";
        case 0x80004005u:  // E_FAIL
        case 0x8000FFFFu:  // E_UNEXPECTED
            return u"класс драйвера отказался создаваться: проверьте установку и лицензию драйвера ККТ, "
                   u"обратитесь к его поставщику";
        default:
            return u"класс драйвера не создаётся с этой ошибкой: сообщите её код и текст поставщику драйвера ККТ";
    }
}

// The cause found by creating the classes directly.
std::u16string ProbeCause(const TRun& run, const TContext& context) {
    if (FAILED(run.DriverCreate))
        return u"создание класса " + std::u16string(DriverClassText) + u" даёт ошибку " +
               SystemText(static_cast<uint32_t>(run.DriverCreate)) + u": " +
               CreationAdvice(run.DriverCreate, context, context.Driver);
    if (FAILED(run.DriverInterface))
        return u"объект драйвера создаётся, но не даёт интерфейс ITarvik1C30 " + std::u16string(DriverInterfaceText) +
               u" (" + SystemText(static_cast<uint32_t>(run.DriverInterface)) +
               u"): установлена другая версия драйвера ККТ, нужна версия 4.7 с ФФД 1.2";
    if (FAILED(run.FormatVersion))
        return u"объект драйвера создаётся, но не принимает версию формата 47 (свойство kelmor_FormatVersion): " +
               run.FormatVersionText + u"; нужна версия драйвера ККТ 4.7 с ФФД 1.2";
    if (FAILED(run.MainCreate))
        return u"объект драйвера создаётся, а главный объект " + std::u16string(MainClassText) +
               u" — нет: " + SystemText(static_cast<uint32_t>(run.MainCreate)) + u": " +
               CreationAdvice(run.MainCreate, context, context.Main);
    if (FAILED(run.VersionRead))
        return u"главный объект драйвера не отдаёт версию (DriverVersion): " + run.VersionReadText +
               u"; переустановите драйвер ККТ";
    return u"напрямую оба объекта драйвера создаются; причину знает только надстройка";
}

}  // namespace

bool CheckCreation(TReport& report, const TContext& context) {
    const std::u16string area = u"Создание драйвера: ";
    if (!context.AddinUsable) {
        report.Problem(area + u"не проверено: надстройку нельзя использовать (см. строки «Надстройка»)");
        return true;
    }
    auto* run = new TRun();
    run->Context = &context;
    HANDLE thread = CreateThread(nullptr, 0, &ApartmentThread, run, 0, nullptr);
    if (thread == nullptr) {
        report.Problem(area + u"не проверено: поток не запускается: " + SystemText(GetLastError()));
        delete run;
        return true;
    }
    if (WaitForSingleObject(thread, CreationTimeoutMs) != WAIT_OBJECT_0) {
        // The thread still runs inside the add-in or the driver: nothing may
        // be freed or unloaded under it.
        report.Problem(area + u"драйвер не ответил за " + Decimal(CreationTimeoutMs / 1000) +
                       u" с: клиент 1С на этой кассе тоже зависнет. Перезагрузите кассу и переустановите драйвер ККТ");
        return false;
    }
    CloseHandle(thread);
    const int bits = context.ProcessBits;
    const std::u16string client = BitsAdjective(bits, u"ый") + u" клиент 1С";
    const std::u16string missing = u"клиент 1С покажет «Объект драйвера не установлен»";
    if (FAILED(run->ComInit)) {
        report.Problem(area + u"COM не запускается в потоке (CoInitializeEx): " +
                       SystemText(static_cast<uint32_t>(run->ComInit)));
    } else if (!run->Created) {
        report.Problem(area + u"надстройка не создала объект «" + std::u16string(ClassName) +
                       u"» (GetClassObject ответила 0). Возьмите KelmorTarvik1CNative.dll из поставки заново");
    } else if (run->MethodIndex < 0) {
        report.Problem(area + u"у объекта надстройки нет метода GetDescription: это другая версия надстройки");
    } else if (!run->CallOk) {
        std::u16string why;
        for (const auto& e : run->HostErrors) why += (why.empty() ? u"" : u"; ") + e;
        report.Problem(area + u"вызов GetDescription не удался" +
                       (why.empty() ? u" (надстройка пишет причину только в свой журнал)" : u": " + why) + u"; " +
                       ProbeCause(*run, context));
    } else if (!run->DocumentGiven || !run->Description.Parsed) {
        report.Problem(area + u"GetDescription не вернул описание драйвера" +
                       (run->Description.Error.empty() ? u"" : u": " + run->Description.Error));
    } else if (run->Description.MainDriverInstalled == u"true") {
        report.Ok(area + u"надстройка создала драйвер, как это сделает " + client + u": MainDriverInstalled = true, " +
                  u"DriverVersion = " + run->Description.DriverVersion);
    } else if (SUCCEEDED(run->DriverCreate) && SUCCEEDED(run->DriverInterface) && FAILED(run->FormatVersion)) {
        // The add-in answers with its own description here too, but the
        // driver object exists: the client's calls fail with the driver's
        // own error, not with "driver object not set".
        report.Problem(area + u"надстройка создала объект драйвера, но он не принял версию формата 47 (MainDriverInstalled = " +
                       run->Description.MainDriverInstalled +
                       u"): методы, которые задают версию формата (GetInterfaceRevision, EquipmentParameters, "
                       u"ProcessCheck), не пройдут. Причина: " + ProbeCause(*run, context));
    } else {
        report.Problem(area + u"надстройка не создала драйвер (MainDriverInstalled = " +
                       run->Description.MainDriverInstalled + u"), " + missing + u". Причина: " +
                       ProbeCause(*run, context));
    }
    delete run;
    return true;
}

}  // namespace kelmorcheck
