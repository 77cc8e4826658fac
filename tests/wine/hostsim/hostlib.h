// The host simulator: a Windows program that loads an add-in DLL and drives
// it exactly as the 1C:Enterprise host does: the three exports looked up by
// name, the object record's three views, and the slot tables called with the
// host's calling convention. This header is the small library of host
// helpers that every mode of the simulator uses.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hostapi/v8types.h"
#include "tests/support/fakehost.h"
#include "tests/support/hostabi.h"

namespace hostsim {

// --- Text and output --------------------------------------------------------

std::string Utf8(const std::u16string& s);
std::string Utf8(const std::wstring& s);
std::u16string Utf16(const std::string& utf8);
std::u16string Utf16(const std::wstring& s);
// printf-style output in UTF-8, flushed at once (so that it interleaves
// correctly with anything the DLL or Wine print).
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A host value, readable: "PWSTR \"...\"", "I4 42", "BOOL true", ...
std::string Describe(const V8Variant& v);

// --- Checks -----------------------------------------------------------------

// Prints each check as "PASS: ..." or "FAIL: ... (detail)" and a final line
// "SUMMARY: N passed, N failed".
class TCheckList {
public:
    bool Check(bool ok, const std::string& what, const std::string& detail = std::string());
    // Equality of texts, the detail showing both sides.
    bool Equal(const std::u16string& got, const std::u16string& expected, const std::string& what);
    bool Equal(int64_t got, int64_t expected, const std::string& what);
    void Section(const std::string& title);
    int Passed() const { return FPassed; }
    int Failed() const { return FFailed; }
    // Prints the summary line; answers the number of failures (the exit code).
    int Summary();

private:
    int FPassed = 0;
    int FFailed = 0;
};

// --- The add-in library -----------------------------------------------------

// The exports as the host declares them (cdecl on i386).
using TGetClassObject = int32_t (*)(const char16_t* name, void** component);
using TGetClassNames = const char16_t* (*)();
using TDestroyObject = int32_t (*)(void** component);

class THostLibrary {
public:
    THostLibrary() = default;
    ~THostLibrary() { Unload(); }
    THostLibrary(const THostLibrary&) = delete;
    THostLibrary& operator=(const THostLibrary&) = delete;

    // LoadLibraryW and GetProcAddress of the three exports. On failure Error()
    // says why; the exports that were found stay set.
    bool Load(const std::wstring& path);
    void Unload();
    bool Loaded() const { return FModule != nullptr; }
    const std::string& Error() const { return FError; }
    HMODULE Module() const { return FModule; }

    TGetClassObject GetClassObject = nullptr;
    TGetClassNames GetClassNames = nullptr;
    TDestroyObject DestroyObject = nullptr;

    // GetClassNames split at "|".
    std::vector<std::u16string> ClassNames();

private:
    HMODULE FModule = nullptr;
    std::string FError;
};

// --- A component object as the host holds it --------------------------------

// The IComponentBase pointer that GetClassObject stored, and calls through
// the tables behind its three views. Texts that the add-in hands out are
// read and freed at once through the host's memory manager, as the host does.
class THostObject {
public:
    explicit THostObject(THostLibrary& library) : FLibrary(library) {}
    ~THostObject() { Destroy(); }
    THostObject(const THostObject&) = delete;
    THostObject& operator=(const THostObject&) = delete;

    // GetClassObject; answers its result. The location starts as a sentinel
    // so that Untouched() tells whether a failed call left it alone.
    int32_t Create(const std::u16string& name);
    bool Untouched() const { return FBase == Sentinel(); }
    bool Valid() const { return FBase != nullptr && !Untouched(); }
    void* Base() const { return FBase; }
    // Word i of the record (0..6).
    void* Word(int i) const { return Record().Word(i); }
    // DestroyObject when valid; answers its result (0 when nothing to do).
    int32_t Destroy();
    // The object was ended another way (slot 0, the deleting destructor):
    // nothing left to destroy.
    void Forget() { FBase = nullptr; }

    // IInitDone
    bool Init(TV8AddInDefBase* connection);
    bool SetMemManager(TV8MemoryManager* manager);
    int32_t GetInfo();
    void Done();
    // LocaleBase
    void SetLocale(const char16_t* locale);
    // ILanguageExtender. The texts handed out are freed through the memory
    // manager given to SetMemManager; *ok tells whether the add-in answered
    // a text at all.
    bool RegisterExtensionAs(std::u16string& name);
    int32_t GetNProps();
    int32_t FindProp(const std::u16string& name);
    std::u16string GetPropName(int32_t index, int32_t alias, bool* ok = nullptr);
    bool GetPropVal(int32_t index, V8Variant& value);
    bool SetPropVal(int32_t index, V8Variant& value);
    bool IsPropReadable(int32_t index);
    bool IsPropWritable(int32_t index);
    int32_t GetNMethods();
    int32_t FindMethod(const std::u16string& name);
    std::u16string GetMethodName(int32_t index, int32_t alias, bool* ok = nullptr);
    int32_t GetNParams(int32_t index);
    bool GetParamDefValue(int32_t method, int32_t param, V8Variant& value);
    bool HasRetVal(int32_t index);
    bool CallAsProc(int32_t index, V8Variant* params, int32_t count);
    bool CallAsFunc(int32_t index, V8Variant& result, V8Variant* params, int32_t count);
    // FindMethod then CallAsFunc, with the vector's size as the count; false
    // (and no call) when the name is unknown.
    bool CallByName(const std::u16string& name, V8Variant& result, std::vector<V8Variant>& params);

    // The record and its views, as the host's compiler computes them from
    // IComponentBase, and the slot tables behind the views, reached by slot
    // number (tests/support/hostabi.h), never through the add-in's own
    // declarations.
    hostabi::TComponent Record() const { return hostabi::TComponent(FBase); }
    void* InitDone() const { return Record().InitDoneView(); }
    void* LanguageExtender() const { return Record().LanguageExtenderView(); }
    void* LocaleBase() const { return Record().LocaleBaseView(); }
    hostabi::TInitDone InitDoneSlots() const { return Record().InitDone(); }
    hostabi::TLanguageExtender ExtSlots() const { return Record().LanguageExtender(); }
    hostabi::TLocaleBase LocaleSlots() const { return Record().LocaleBase(); }

private:
    static void* Sentinel() { return reinterpret_cast<void*>(static_cast<uintptr_t>(0x5EED)); }
    std::u16string TakeText(const char16_t* p);

    THostLibrary& FLibrary;
    void* FBase = Sentinel();
    TV8MemoryManager* FManager = nullptr;
};

// --- Host session -----------------------------------------------------------

// The host's side of one session: its memory manager, its connection, and
// the host values it made for calls (freed by ReleaseAll, as the host frees
// its values after use).
struct THostSession {
    fakehost::TFakeMemoryManager Memory;
    fakehost::TFakeConnection Connection;

    V8Variant Text(const std::u16string& s) { return fakehost::WString(Memory, s); }
    void Release(V8Variant& v) { fakehost::Release(Memory, v); }
    void Release(std::vector<V8Variant>& values) {
        for (auto& v : values) Release(v);
    }
};

// --- Modes ------------------------------------------------------------------

// A mode of the simulator: "hostsim <mode> <args...>". Modes register
// themselves from their own source files with a static THostMode.
using TModeFunc = int (*)(const std::vector<std::wstring>& args);
struct THostMode {
    THostMode(const char* name, const char* usage, TModeFunc run);
};
struct TModeEntry {
    std::string Name;
    std::string Usage;
    TModeFunc Run;
};
std::vector<TModeEntry>& Modes();

// Reads a whole file; false when it cannot be opened.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);

}  // namespace hostsim
