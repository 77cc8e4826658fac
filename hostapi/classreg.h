// The registry of component classes, their methods and properties.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "hostapi/userobject.h"
#include "hostapi/v8types.h"

class TNameIndex;

#pragma pack(push, 1)
struct TDefParamValue {
    int32_t Num;  // 0-based argument index
    V8Variant Value;
};
#pragma pack(pop)
static_assert(sizeof(TDefParamValue) == 52, "packed default entry is 52 bytes");

struct TDefParamList {
    int32_t ValueCount = 0;
    std::vector<TDefParamValue> Values;
    V8Variant* TempParam = nullptr;

    V8Variant* AddParam(int32_t Num);  // Num counts from 1
    void AddAString(const char* V, int32_t ParamNum);
    void AddBool(bool V, int32_t ParamNum);
    void AddDate(double V, int32_t ParamNum);
    void AddDouble(double V, int32_t ParamNum);
    void AddInt(int32_t V, int32_t ParamNum);
    void AddWString(const char16_t* V, int32_t ParamNum);
};

struct TMethReg {
    std::u16string MethName;
    std::u16string MethNameLoc;
    bool IsFunction = false;
    int32_t ParamCount = 0;
    std::unique_ptr<TDefParamList> DefParams = std::make_unique<TDefParamList>();
    TV8CallAsFunc ExecuteFunc = nullptr;  // set when IsFunction
    TV8CallAsProc ExecuteProc = nullptr;  // set when not IsFunction
};

struct TPropReg {
    std::u16string PropName;
    std::u16string PropNameLoc;
    bool IsReadable = false;
    bool IsWritable = false;
    TV8PropertyGetSet PropGetSet = nullptr;
};

struct TClassReg {
    TClassReg() = default;
    ~TClassReg();
    TClassReg(const TClassReg&) = delete;
    TClassReg& operator=(const TClassReg&) = delete;

    TV8UserClass UserClass = nullptr;
    std::u16string RegisterExtensionAs;
    std::u16string NatApiClassName;
    int32_t PropCount = 0;
    int32_t MethCount = 0;
    std::vector<std::unique_ptr<TPropReg>> PropList;
    std::vector<std::unique_ptr<TMethReg>> MethList;

    TMethReg* AddFunc(const std::u16string& MethName, const std::u16string& MethNameLoc,
                      TV8CallAsFunc ExecuteProc, int32_t ParamCount);
    TMethReg* AddProc(const std::u16string& MethName, const std::u16string& MethNameLoc,
                      TV8CallAsProc ExecuteProc, int32_t ParamCount);
    void AddProp(const std::u16string& PropName, const std::u16string& PropNameLoc, bool IsReadable,
                 bool IsWritable, TV8PropertyGetSet PropGetSet);

    // Bounds-checked lookups: null outside 0..count-1.
    TMethReg* Method(int32_t index) const;
    TPropReg* Property(int32_t index) const;

    // The name look-ups of the methods and the properties (FindMethod,
    // FindProp): made on first use, which may come from any thread, and
    // published once. Adding a method or a property drops them.
    const TNameIndex& MethodIndex() const;
    const TNameIndex& PropertyIndex() const;

private:
    void DropIndexes();

    mutable std::atomic<const TNameIndex*> FMethodIndex{nullptr};
    mutable std::atomic<const TNameIndex*> FPropertyIndex{nullptr};
};

struct TClassRegList {
    int32_t ClassCount = 0;
    std::vector<std::unique_ptr<TClassReg>> ClassList;

    TClassReg* RegisterClass(TV8UserClass UserClass, const std::u16string& RegisterExtensionAs,
                             const std::u16string& NatApiClassName);
};

// The one registry of the library and the joined class names.
TClassRegList& ClassRegList();
const std::u16string& ClassNames();
// Tests only: empty the registry and ClassNames.
void ResetClassRegistryForTests();

// A point in the registry's filling: the classes registered so far and the
// length of ClassNames then.
struct TClassRegistryMark {
    size_t ClassCount = 0;
    size_t NamesLength = 0;
};
TClassRegistryMark MarkClassRegistry() noexcept;
// Takes out every class registered after mark, with its methods and
// properties, and its name from ClassNames. Allocates nothing.
void RollBackClassRegistry(const TClassRegistryMark& mark) noexcept;

// Helper for registering a member of a component class as a handler.
template <class T>
TV8CallAsFunc AsFunc(bool (T::*m)(V8Variant*, V8Variant*, int32_t, TV8AddInDefBase*&)) {
    return static_cast<TV8CallAsFunc>(m);
}
template <class T>
TV8CallAsProc AsProc(bool (T::*m)(V8Variant*, int32_t, TV8AddInDefBase*&)) {
    return static_cast<TV8CallAsProc>(m);
}
