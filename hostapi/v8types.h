// Binary records and function tables shared with the 1C:Enterprise host.
// The host is built with MSVC: its interfaces are one destructor slot followed
// by the functions, so we describe them as explicit tables of function
// pointers (never as C++ virtual classes, whose layout differs under g++).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define V8_CALL __stdcall
#else
#define V8_CALL
#endif

// Host boolean: one byte, 0 false, 1 true.
using V8Bool = bool;
static_assert(sizeof(V8Bool) == 1, "host bool is one byte");

struct V8Guid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(V8Guid) == 16, "GUID is 16 bytes");

struct TV8tm {
    int32_t tm_sec, tm_min, tm_hour, tm_mday, tm_mon, tm_year, tm_wday, tm_yday, tm_isdst;
};

struct TV8StringVarRec {
    char* pstrVal;
    uint32_t strLen;  // bytes
};

struct TV8WideStringVarRec {
    char16_t* pwstrVal;
    uint32_t wstrLen;  // UTF-16 code units, without the terminating zero
};

struct TV8InterfaceVarRec {
    void* pInterfaceVal;
    V8Guid InterfaceID;
};

struct V8Variant;

union TVarEnum {
    int8_t i8Val;
    int16_t shortVal;
    int32_t lVal;
    int32_t intVal;
    uint32_t uintVal;
    int64_t llVal;
    uint8_t ui8Val;
    uint16_t ushortVal;
    uint32_t ulVal;
    uint64_t ullVal;
    int32_t errCode;
    int32_t hRes;
    float fltVal;
    double dblVal;
    uint8_t bVal;  // read as a byte: the host may hand any value
    char chVal;
    char16_t wchVal;
    double date;
    V8Guid IDVal;
    V8Variant* pvarVal;
    TV8tm tmVal;
    TV8StringVarRec vtRecString;
    TV8WideStringVarRec vtRecWideString;
    TV8InterfaceVarRec vtRecInterface;
};
static_assert(sizeof(TVarEnum) == 40, "host value union is 40 bytes");

struct V8Variant {
    TVarEnum VarEnum;
    uint32_t cbElements;
    uint32_t vt;
};
static_assert(sizeof(V8Variant) == 48, "host value record is 48 bytes");
static_assert(offsetof(V8Variant, cbElements) == 40, "cbElements at byte 40");
static_assert(offsetof(V8Variant, vt) == 44, "vt at byte 44");

using PV8Variant = V8Variant*;
// The host hands a pointer to its own array of ParamCount values.
using PV8ParamArray = V8Variant*;
constexpr int V8MaxParams = 255;

// Type codes of the host.
enum : uint32_t {
    VTYPE_EMPTY = 0,
    VTYPE_NULL = 1,
    VTYPE_I2 = 2,
    VTYPE_I4 = 3,
    VTYPE_R4 = 4,
    VTYPE_R8 = 5,
    VTYPE_DATE = 6,
    VTYPE_TM = 7,
    VTYPE_PSTR = 8,
    VTYPE_INTERFACE = 9,
    VTYPE_ERROR = 10,
    VTYPE_BOOL = 11,
    VTYPE_VARIANT = 12,
    VTYPE_I1 = 13,
    VTYPE_UI1 = 14,
    VTYPE_UI2 = 15,
    VTYPE_UI4 = 16,
    VTYPE_I8 = 17,
    VTYPE_UI8 = 18,
    VTYPE_INT = 19,
    VTYPE_UINT = 20,
    VTYPE_HRESULT = 21,
    VTYPE_PWSTR = 22,
    VTYPE_BLOB = 23,
    VTYPE_CLSID = 24,
};

// IMemoryManager of the host.
struct TV8MemoryManager;
struct TV8MemoryManagerVtbl {
    void* Destructor;  // never called
    V8Bool(V8_CALL* AllocMemory)(TV8MemoryManager* self, void** pMemory, uint32_t ulCountByte);
    void(V8_CALL* FreeMemory)(TV8MemoryManager* self, void** pMemory);
};
struct TV8MemoryManager {
    const TV8MemoryManagerVtbl* vtbl;
};

// IAddInDefBase of the host; the library calls only AddError.
struct TV8AddInDefBase;
struct TV8AppInfo {
    const char16_t* AppVersion;
    int32_t Application;
    const char16_t* UserAgentInformation;
};
struct TV8AddInDefBaseVtbl {
    void* Destructor;  // never called
    V8Bool(V8_CALL* AddError)(TV8AddInDefBase* self, uint16_t wcode, const char16_t* source,
                              const char16_t* descr, int32_t scode);
    V8Bool(V8_CALL* Read)(TV8AddInDefBase* self, char16_t* wszPropName, V8Variant* pVal,
                          int32_t* pErrCode, char16_t** errDescriptor);
    V8Bool(V8_CALL* Write)(TV8AddInDefBase* self, char16_t* wszPropName, V8Variant* pVar);
    V8Bool(V8_CALL* RegisterProfileAs)(TV8AddInDefBase* self, char16_t* wszProfileName);
    V8Bool(V8_CALL* SetEventBufferDepth)(TV8AddInDefBase* self, int32_t lDepth);
    int32_t(V8_CALL* GetEventBufferDepth)(TV8AddInDefBase* self);
    V8Bool(V8_CALL* ExternalEvent)(TV8AddInDefBase* self, char16_t* wszSource, char16_t* wszMessage,
                                   char16_t* wszData);
    void(V8_CALL* CleanEventBuffer)(TV8AddInDefBase* self);
    V8Bool(V8_CALL* SetStatusLine)(TV8AddInDefBase* self, char16_t* wszStatusLine);
    void(V8_CALL* ResetStatusLine)(TV8AddInDefBase* self);
    const TV8AppInfo*(V8_CALL* GetPlatformInfo)(TV8AddInDefBase* self);
    V8Bool(V8_CALL* Alert)(TV8AddInDefBase* self, const char16_t* queryText);
};
struct TV8AddInDefBase {
    const TV8AddInDefBaseVtbl* vtbl;
};

// Error report constants sent through AddError.
constexpr uint16_t ADDIN_E_FAIL = 1006;
constexpr int32_t V8_E_FAIL = static_cast<int32_t>(0x80004005u);
