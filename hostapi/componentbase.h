// The record handed to the host as IComponentBase, and the three slot tables
// (IInitDone, ILanguageExtender, LocaleBase) laid out as the host's compiler
// lays them out: slot 0 is the destructor position, never called.
#pragma once

#include "hostapi/v8types.h"

// Seven pointer-size words: three views, a zero word, the object three times.
// Every slot receives its view (word 0, 1 or 2) and finds the object four
// words further on.
struct TV8ComponentBase {
    const void* Views[3];
    void* Zero;
    void* Objects[3];
};
static_assert(sizeof(TV8ComponentBase) == 7 * sizeof(void*), "seven words");

using TV8View = void*;  // address of word 0, 1 or 2 of a TV8ComponentBase

struct TInitDoneTable {
    void* Destructor;
    V8Bool(V8_CALL* Init)(TV8View self, TV8AddInDefBase* connection);
    V8Bool(V8_CALL* SetMemManager)(TV8View self, TV8MemoryManager* manager);
    int32_t(V8_CALL* GetInfo)(TV8View self);
    void(V8_CALL* Done)(TV8View self);
};

struct TLanguageExtenderTable {
    void* Destructor;
    V8Bool(V8_CALL* RegisterExtensionAs)(TV8View self, char16_t** extensionName);
    int32_t(V8_CALL* GetNProps)(TV8View self);
    int32_t(V8_CALL* FindProp)(TV8View self, const char16_t* name);
    const char16_t*(V8_CALL* GetPropName)(TV8View self, int32_t index, int32_t alias);
    V8Bool(V8_CALL* GetPropVal)(TV8View self, int32_t index, V8Variant* value);
    V8Bool(V8_CALL* SetPropVal)(TV8View self, int32_t index, V8Variant* value);
    V8Bool(V8_CALL* IsPropReadable)(TV8View self, int32_t index);
    V8Bool(V8_CALL* IsPropWritable)(TV8View self, int32_t index);
    int32_t(V8_CALL* GetNMethods)(TV8View self);
    int32_t(V8_CALL* FindMethod)(TV8View self, const char16_t* name);
    const char16_t*(V8_CALL* GetMethodName)(TV8View self, int32_t index, int32_t alias);
    int32_t(V8_CALL* GetNParams)(TV8View self, int32_t index);
    V8Bool(V8_CALL* GetParamDefValue)(TV8View self, int32_t methodIndex, int32_t paramIndex,
                                      V8Variant* value);
    V8Bool(V8_CALL* HasRetVal)(TV8View self, int32_t index);
    V8Bool(V8_CALL* CallAsProc)(TV8View self, int32_t index, V8Variant* params, int32_t count);
    V8Bool(V8_CALL* CallAsFunc)(TV8View self, int32_t index, V8Variant* retValue, V8Variant* params,
                                int32_t count);
};

struct TLocaleBaseTable {
    void* Destructor;
    void(V8_CALL* SetLocale)(TV8View self, const char16_t* locale);
};

// The shared tables, filled once at load.
extern const TInitDoneTable InitDoneTable;
extern const TLanguageExtenderTable LanguageExtenderTable;
extern const TLocaleBaseTable LocaleBaseTable;

// Views of a record, as the host holds them.
inline TV8View InitDoneView(TV8ComponentBase* r) { return &r->Views[0]; }
inline TV8View LanguageExtenderView(TV8ComponentBase* r) { return &r->Views[1]; }
inline TV8View LocaleBaseView(TV8ComponentBase* r) { return &r->Views[2]; }

// The component object behind a view: four words further on.
class TV8UserObject;
inline TV8UserObject* ObjectOfView(TV8View view) {
    return static_cast<TV8UserObject*>(static_cast<void* const*>(view)[4]);
}
