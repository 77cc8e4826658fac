// The record handed to the host as IComponentBase, and the three slot tables
// (IInitDone, ILanguageExtender, LocaleBase) laid out as the host's compiler
// lays them out: slot 0 is the interface's virtual destructor, which a host
// calls for `delete` on any of the three interface pointers.
#pragma once

#include <cstddef>

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

// Slot 0 of every table has the shape of the host compiler's deleting
// destructor: the view and the flags, answering the view. Bit 0 of the flags
// asks for the memory to go too (what `delete` passes). On i386 it is
// thiscall (the view in ECX, the flags on the stack, removed by the callee),
// not the stdcall of the other slots.
#if defined(_WIN32) && !defined(_WIN64)
#define V8_DTOR_CALL __attribute__((thiscall))
#else
#define V8_DTOR_CALL
#endif
using TV8DeletingDestructor = TV8View(V8_DTOR_CALL*)(TV8View self, uint32_t flags);
constexpr uint32_t V8DeleteMemoryFlag = 1;

struct TInitDoneTable {
    TV8DeletingDestructor Destructor;
    V8Bool(V8_CALL* Init)(TV8View self, TV8AddInDefBase* connection);
    V8Bool(V8_CALL* SetMemManager)(TV8View self, TV8MemoryManager* manager);
    int32_t(V8_CALL* GetInfo)(TV8View self);
    void(V8_CALL* Done)(TV8View self);
};

struct TLanguageExtenderTable {
    TV8DeletingDestructor Destructor;
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
    TV8DeletingDestructor Destructor;
    void(V8_CALL* SetLocale)(TV8View self, const char16_t* locale);
};

// Every slot pinned where the host's compiler puts it: slot k is k pointers
// into the table, in both builds. Two functions of the same shape swapped in
// a declaration would otherwise compile and answer the host's calls wrongly.
#define KELMOR_PIN_SLOT(table, slot, k) \
    static_assert(offsetof(table, slot) == (k) * sizeof(void*), #table "::" #slot " is slot " #k)
KELMOR_PIN_SLOT(TInitDoneTable, Destructor, 0);
KELMOR_PIN_SLOT(TInitDoneTable, Init, 1);
KELMOR_PIN_SLOT(TInitDoneTable, SetMemManager, 2);
KELMOR_PIN_SLOT(TInitDoneTable, GetInfo, 3);
KELMOR_PIN_SLOT(TInitDoneTable, Done, 4);
static_assert(sizeof(TInitDoneTable) == 5 * sizeof(void*), "IInitDone has 5 slots");

KELMOR_PIN_SLOT(TLanguageExtenderTable, Destructor, 0);
KELMOR_PIN_SLOT(TLanguageExtenderTable, RegisterExtensionAs, 1);
KELMOR_PIN_SLOT(TLanguageExtenderTable, GetNProps, 2);
KELMOR_PIN_SLOT(TLanguageExtenderTable, FindProp, 3);
KELMOR_PIN_SLOT(TLanguageExtenderTable, GetPropName, 4);
KELMOR_PIN_SLOT(TLanguageExtenderTable, GetPropVal, 5);
KELMOR_PIN_SLOT(TLanguageExtenderTable, SetPropVal, 6);
KELMOR_PIN_SLOT(TLanguageExtenderTable, IsPropReadable, 7);
KELMOR_PIN_SLOT(TLanguageExtenderTable, IsPropWritable, 8);
KELMOR_PIN_SLOT(TLanguageExtenderTable, GetNMethods, 9);
KELMOR_PIN_SLOT(TLanguageExtenderTable, FindMethod, 10);
KELMOR_PIN_SLOT(TLanguageExtenderTable, GetMethodName, 11);
KELMOR_PIN_SLOT(TLanguageExtenderTable, GetNParams, 12);
KELMOR_PIN_SLOT(TLanguageExtenderTable, GetParamDefValue, 13);
KELMOR_PIN_SLOT(TLanguageExtenderTable, HasRetVal, 14);
KELMOR_PIN_SLOT(TLanguageExtenderTable, CallAsProc, 15);
KELMOR_PIN_SLOT(TLanguageExtenderTable, CallAsFunc, 16);
static_assert(sizeof(TLanguageExtenderTable) == 17 * sizeof(void*), "ILanguageExtender has 17 slots");

KELMOR_PIN_SLOT(TLocaleBaseTable, Destructor, 0);
KELMOR_PIN_SLOT(TLocaleBaseTable, SetLocale, 1);
static_assert(sizeof(TLocaleBaseTable) == 2 * sizeof(void*), "LocaleBase has 2 slots");
#undef KELMOR_PIN_SLOT

// Slot 0 of each table, one function per table: each knows where its view
// sits in the record. They end the object as DestroyObject does. Bit 0 set:
// the record goes too. Bit 0 clear (a destructor call that leaves the
// storage to the caller): the object is ended and the record is kept,
// without an object, so that every slot answers its empty answer and a later
// DestroyObject or deleting call frees the record alone. Other flag bits are
// ignored. Nothing thrown leaves them.
TV8View V8_DTOR_CALL InitDoneDestructorSlot(TV8View self, uint32_t flags) noexcept;
TV8View V8_DTOR_CALL LanguageExtenderDestructorSlot(TV8View self, uint32_t flags) noexcept;
TV8View V8_DTOR_CALL LocaleBaseDestructorSlot(TV8View self, uint32_t flags) noexcept;

// The shared tables, filled once at load.
extern const TInitDoneTable InitDoneTable;
extern const TLanguageExtenderTable LanguageExtenderTable;
extern const TLocaleBaseTable LocaleBaseTable;

// Views of a record, as the host holds them.
inline TV8View InitDoneView(TV8ComponentBase* r) { return &r->Views[0]; }
inline TV8View LanguageExtenderView(TV8ComponentBase* r) { return &r->Views[1]; }
inline TV8View LocaleBaseView(TV8ComponentBase* r) { return &r->Views[2]; }

// The component object behind a view: four words further on. Null once a
// destructor call without freeing has ended the object and kept the record.
class TV8UserObject;
inline TV8UserObject* ObjectOfView(TV8View view) {
    return static_cast<TV8UserObject*>(static_cast<void* const*>(view)[4]);
}
