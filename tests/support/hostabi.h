// The host's own view of a component object: the record it receives from
// GetClassObject and the three interfaces behind it (IInitDone,
// ILanguageExtender, LocaleBase), laid out as the host's compiler lays out
// these published interfaces: one destructor slot, then the functions in the
// order the interfaces declare them.
//
// Written from the published interfaces alone, on purpose apart from the
// library's own table declarations: tests that reach the slots through this
// view fail when the library puts a function in the wrong slot, instead of
// following the library's mistake. Plain C++17, shared by the native tests,
// the fuzz targets and the Windows host simulator.
#pragma once

#include <cstdint>

#include "hostapi/v8types.h"  // value records, memory manager and connection only

// The calling convention of every interface function: stdcall on i386, the
// platform's one convention elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define HOSTABI_CALL __stdcall
#else
#define HOSTABI_CALL
#endif

// Slot 0 of every interface is its virtual destructor, called as the host's
// compiler calls a deleting destructor: the view and the flags (bit 0: free
// the memory too, what `delete` passes), answering the view. On i386 that is
// thiscall: the view in ECX, the flags on the stack, removed by the callee.
#if defined(_WIN32) && !defined(_WIN64)
#define HOSTABI_DTOR_CALL __attribute__((thiscall))
#else
#define HOSTABI_DTOR_CALL
#endif

namespace hostabi {

// Slot numbers: slot k sits k pointers into the interface's table.
namespace InitDone {
enum : int {
    Destructor = 0,
    Init = 1,
    SetMemManager = 2,
    GetInfo = 3,
    Done = 4,
    SlotCount = 5,
};
}  // namespace InitDone

namespace LanguageExtender {
enum : int {
    Destructor = 0,
    RegisterExtensionAs = 1,
    GetNProps = 2,
    FindProp = 3,
    GetPropName = 4,
    GetPropVal = 5,
    SetPropVal = 6,
    IsPropReadable = 7,
    IsPropWritable = 8,
    GetNMethods = 9,
    FindMethod = 10,
    GetMethodName = 11,
    GetNParams = 12,
    GetParamDefValue = 13,
    HasRetVal = 14,
    CallAsProc = 15,
    CallAsFunc = 16,
    SlotCount = 17,
};
}  // namespace LanguageExtender

namespace LocaleBase {
enum : int {
    Destructor = 0,
    SetLocale = 1,
    SlotCount = 2,
};
}  // namespace LocaleBase

// The function in slot k of the table behind a view (a view's first word is
// its table's address).
inline const void* SlotAddress(const void* view, int k) {
    const void* const* table = *static_cast<const void* const* const*>(view);
    return table[k];
}

template <class Fn>
Fn Slot(const void* view, int k) {
    return reinterpret_cast<Fn>(const_cast<void*>(SlotAddress(view, k)));
}

// Calls slot 0 of the table behind a view, as `delete` (flags 1) or an
// explicit destructor call (flags 0) through that interface does.
inline void* CallDestructor(void* view, uint32_t flags) {
    using Fn = void*(HOSTABI_DTOR_CALL*)(void*, uint32_t);
    return Slot<Fn>(view, 0)(view, flags);
}

// Calls through one view. Each function fetches its slot by number and calls
// it with the view as the first argument, as the host does.
class TInitDone {
public:
    explicit TInitDone(void* view) : FView(view) {}
    void* View() const { return FView; }
    const void* SlotAddress(int k) const { return hostabi::SlotAddress(FView, k); }
    // Slot 0: the deleting destructor; answers what the slot answers.
    void* Destructor(uint32_t flags) const { return CallDestructor(FView, flags); }

    bool Init(TV8AddInDefBase* connection) const {
        using Fn = bool(HOSTABI_CALL*)(void*, TV8AddInDefBase*);
        return Slot<Fn>(FView, InitDone::Init)(FView, connection);
    }
    bool SetMemManager(TV8MemoryManager* manager) const {
        using Fn = bool(HOSTABI_CALL*)(void*, TV8MemoryManager*);
        return Slot<Fn>(FView, InitDone::SetMemManager)(FView, manager);
    }
    int32_t GetInfo() const {
        using Fn = int32_t(HOSTABI_CALL*)(void*);
        return Slot<Fn>(FView, InitDone::GetInfo)(FView);
    }
    void Done() const {
        using Fn = void(HOSTABI_CALL*)(void*);
        Slot<Fn>(FView, InitDone::Done)(FView);
    }

private:
    void* FView;
};

class TLanguageExtender {
public:
    explicit TLanguageExtender(void* view) : FView(view) {}
    void* View() const { return FView; }
    const void* SlotAddress(int k) const { return hostabi::SlotAddress(FView, k); }
    // Slot 0: the deleting destructor; answers what the slot answers.
    void* Destructor(uint32_t flags) const { return CallDestructor(FView, flags); }

    bool RegisterExtensionAs(char16_t** extensionName) const {
        using Fn = bool(HOSTABI_CALL*)(void*, char16_t**);
        return Slot<Fn>(FView, LanguageExtender::RegisterExtensionAs)(FView, extensionName);
    }
    int32_t GetNProps() const {
        using Fn = int32_t(HOSTABI_CALL*)(void*);
        return Slot<Fn>(FView, LanguageExtender::GetNProps)(FView);
    }
    int32_t FindProp(const char16_t* name) const {
        using Fn = int32_t(HOSTABI_CALL*)(void*, const char16_t*);
        return Slot<Fn>(FView, LanguageExtender::FindProp)(FView, name);
    }
    const char16_t* GetPropName(int32_t index, int32_t alias) const {
        using Fn = const char16_t*(HOSTABI_CALL*)(void*, int32_t, int32_t);
        return Slot<Fn>(FView, LanguageExtender::GetPropName)(FView, index, alias);
    }
    bool GetPropVal(int32_t index, V8Variant* value) const {
        using Fn = bool(HOSTABI_CALL*)(void*, int32_t, V8Variant*);
        return Slot<Fn>(FView, LanguageExtender::GetPropVal)(FView, index, value);
    }
    bool SetPropVal(int32_t index, V8Variant* value) const {
        using Fn = bool(HOSTABI_CALL*)(void*, int32_t, V8Variant*);
        return Slot<Fn>(FView, LanguageExtender::SetPropVal)(FView, index, value);
    }
    bool IsPropReadable(int32_t index) const {
        using Fn = bool(HOSTABI_CALL*)(void*, int32_t);
        return Slot<Fn>(FView, LanguageExtender::IsPropReadable)(FView, index);
    }
    bool IsPropWritable(int32_t index) const {
        using Fn = bool(HOSTABI_CALL*)(void*, int32_t);
        return Slot<Fn>(FView, LanguageExtender::IsPropWritable)(FView, index);
    }
    int32_t GetNMethods() const {
        using Fn = int32_t(HOSTABI_CALL*)(void*);
        return Slot<Fn>(FView, LanguageExtender::GetNMethods)(FView);
    }
    int32_t FindMethod(const char16_t* name) const {
        using Fn = int32_t(HOSTABI_CALL*)(void*, const char16_t*);
        return Slot<Fn>(FView, LanguageExtender::FindMethod)(FView, name);
    }
    const char16_t* GetMethodName(int32_t index, int32_t alias) const {
        using Fn = const char16_t*(HOSTABI_CALL*)(void*, int32_t, int32_t);
        return Slot<Fn>(FView, LanguageExtender::GetMethodName)(FView, index, alias);
    }
    int32_t GetNParams(int32_t index) const {
        using Fn = int32_t(HOSTABI_CALL*)(void*, int32_t);
        return Slot<Fn>(FView, LanguageExtender::GetNParams)(FView, index);
    }
    bool GetParamDefValue(int32_t methodIndex, int32_t paramIndex, V8Variant* value) const {
        using Fn = bool(HOSTABI_CALL*)(void*, int32_t, int32_t, V8Variant*);
        return Slot<Fn>(FView, LanguageExtender::GetParamDefValue)(FView, methodIndex, paramIndex, value);
    }
    bool HasRetVal(int32_t index) const {
        using Fn = bool(HOSTABI_CALL*)(void*, int32_t);
        return Slot<Fn>(FView, LanguageExtender::HasRetVal)(FView, index);
    }
    bool CallAsProc(int32_t index, V8Variant* params, int32_t count) const {
        using Fn = bool(HOSTABI_CALL*)(void*, int32_t, V8Variant*, int32_t);
        return Slot<Fn>(FView, LanguageExtender::CallAsProc)(FView, index, params, count);
    }
    bool CallAsFunc(int32_t index, V8Variant* retValue, V8Variant* params, int32_t count) const {
        using Fn = bool(HOSTABI_CALL*)(void*, int32_t, V8Variant*, V8Variant*, int32_t);
        return Slot<Fn>(FView, LanguageExtender::CallAsFunc)(FView, index, retValue, params, count);
    }

private:
    void* FView;
};

class TLocaleBase {
public:
    explicit TLocaleBase(void* view) : FView(view) {}
    void* View() const { return FView; }
    const void* SlotAddress(int k) const { return hostabi::SlotAddress(FView, k); }
    // Slot 0: the deleting destructor; answers what the slot answers.
    void* Destructor(uint32_t flags) const { return CallDestructor(FView, flags); }

    void SetLocale(const char16_t* locale) const {
        using Fn = void(HOSTABI_CALL*)(void*, const char16_t*);
        Slot<Fn>(FView, LocaleBase::SetLocale)(FView, locale);
    }

private:
    void* FView;
};

// The IComponentBase pointer that GetClassObject stored. The host's compiler
// finds the IInitDone view at the pointer itself, the ILanguageExtender view
// one word further and the LocaleBase view two words further.
class TComponent {
public:
    explicit TComponent(void* base) : FBase(static_cast<void**>(base)) {}
    void* Base() const { return FBase; }
    // Word i of the record (0..6).
    void* Word(int i) const { return FBase[i]; }

    void* InitDoneView() const { return FBase; }
    void* LanguageExtenderView() const { return FBase + 1; }
    void* LocaleBaseView() const { return FBase + 2; }

    TInitDone InitDone() const { return TInitDone(InitDoneView()); }
    TLanguageExtender LanguageExtender() const { return TLanguageExtender(LanguageExtenderView()); }
    TLocaleBase LocaleBase() const { return TLocaleBase(LocaleBaseView()); }

private:
    void** FBase;
};

}  // namespace hostabi
