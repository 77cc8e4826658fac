// Base class of every component class the host can create.
#pragma once

#include <string>
#include <string_view>

#include "hostapi/v8types.h"

struct TClassReg;

class TV8UserObject {
public:
    TV8UserObject() = default;
    virtual ~TV8UserObject() = default;
    TV8UserObject(const TV8UserObject&) = delete;
    TV8UserObject& operator=(const TV8UserObject&) = delete;

    virtual bool Init() { return true; }
    virtual int32_t GetInfo() { return 2000; }
    virtual void SetLocale() {}
    virtual void Done() {}
    virtual bool SetMemManager() { return true; }

    TClassReg* ClassReg = nullptr;     // set by GetClassObject after construction
    TV8MemoryManager* V8MM = nullptr;  // handed by SetMemManager; not owned
    TV8AddInDefBase* V8 = nullptr;     // handed by Init; not owned
    std::u16string locale;

    // Writers into host values; payloads are allocated through V8MM. Writers
    // called before a memory manager exists answer false (and V8ClearVar
    // frees nothing).
    void V8ClearVar(V8Variant* V);
    bool V8SetEmpty(V8Variant* V);
    bool V8SetNULL(V8Variant* V);
    bool V8SetString(V8Variant* V, const std::string& Value);
    bool V8SetPChar(V8Variant* V, const char* Value);
    // Value must not lie in V's own payload (V8SetPWideChar copies first).
    bool V8SetWString(V8Variant* V, std::u16string_view Value);
    bool V8SetPWideChar(V8Variant* V, const char16_t* Value);
    bool V8SetBlob(V8Variant* V, const void* Value, int32_t Length);
    void V8SetDouble(V8Variant* V, double Value);
    void V8SetInt(V8Variant* V, int32_t Value);
    void V8SetInt64(V8Variant* V, int64_t Value);
    void V8SetUInt(V8Variant* V, uint32_t Value);
    void V8SetUInt64(V8Variant* V, uint64_t Value);
    void V8SetDate(V8Variant* V, double Value);
    void V8SetBool(V8Variant* V, bool Value);
};

// Method handler forms: members of the component class, called on the object.
using TV8CallAsFunc = bool (TV8UserObject::*)(V8Variant* RetValue, V8Variant* Params,
                                              int32_t ParamCount, TV8AddInDefBase*& v8);
using TV8CallAsProc = bool (TV8UserObject::*)(V8Variant* Params, int32_t ParamCount,
                                              TV8AddInDefBase*& v8);
using TV8PropertyGetSet = bool (TV8UserObject::*)(V8Variant* propValue, bool Get,
                                                  TV8AddInDefBase*& v8);

// Virtual constructor of a registered class.
using TV8UserClass = TV8UserObject* (*)();
template <class T>
TV8UserObject* CreateUserObject() { return new T(); }
