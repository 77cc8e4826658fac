#include "hostapi/classreg.h"

#include <cstddef>
#include <cstring>

#include "hostapi/nameindex.h"
#include "platform/text.h"

namespace {

// Created on first use, so that registrations made by other start-up code
// find it ready whatever the order of static initialisation.
std::u16string& MutableClassNames() {
    static std::u16string names;
    return names;
}

}  // namespace

TClassRegList& ClassRegList() {
    static TClassRegList list;
    return list;
}

const std::u16string& ClassNames() { return MutableClassNames(); }

void ResetClassRegistryForTests() {
    TClassRegList& list = ClassRegList();
    list.ClassList.clear();
    list.ClassCount = 0;
    MutableClassNames().clear();
}

TClassRegistryMark MarkClassRegistry() noexcept {
    TClassRegistryMark mark;
    mark.ClassCount = ClassRegList().ClassList.size();
    mark.NamesLength = ClassNames().size();
    return mark;
}

void RollBackClassRegistry(const TClassRegistryMark& mark) noexcept {
    TClassRegList& list = ClassRegList();
    while (list.ClassList.size() > mark.ClassCount) list.ClassList.pop_back();
    list.ClassCount = static_cast<int32_t>(list.ClassList.size());
    std::u16string& names = MutableClassNames();
    if (names.size() > mark.NamesLength) names.resize(mark.NamesLength);
}

TClassReg* TClassRegList::RegisterClass(TV8UserClass UserClass,
                                        const std::u16string& RegisterExtensionAs,
                                        const std::u16string& NatApiClassName) {
    auto reg = std::make_unique<TClassReg>();
    reg->UserClass = UserClass;
    reg->RegisterExtensionAs = RegisterExtensionAs;
    reg->NatApiClassName = NatApiClassName;
    TClassReg* result = reg.get();
    ClassList.push_back(std::move(reg));
    ClassCount = static_cast<int32_t>(ClassList.size());

    std::u16string& names = MutableClassNames();
    if (!names.empty()) names += u'|';
    names += NatApiClassName;
    return result;
}

namespace {

TMethReg* AddMethod(TClassReg& reg, const std::u16string& MethName,
                    const std::u16string& MethNameLoc, bool IsFunction, int32_t ParamCount) {
    auto meth = std::make_unique<TMethReg>();
    meth->MethName = MethName;
    meth->MethNameLoc = MethNameLoc;
    meth->IsFunction = IsFunction;
    meth->ParamCount = ParamCount;
    TMethReg* result = meth.get();
    reg.MethList.push_back(std::move(meth));
    reg.MethCount = static_cast<int32_t>(reg.MethList.size());
    return result;
}

}  // namespace

namespace {

// Publishes the index made here unless another thread was first; answers the
// one in force.
const TNameIndex& Publish(std::atomic<const TNameIndex*>& slot, std::vector<TNameIndex::TNames> names) {
    const TNameIndex* current = slot.load(std::memory_order_acquire);
    if (current != nullptr) return *current;
    auto made = std::make_unique<TNameIndex>(std::move(names));
    if (slot.compare_exchange_strong(current, made.get(), std::memory_order_acq_rel, std::memory_order_acquire))
        return *made.release();
    return *current;
}

}  // namespace

TClassReg::~TClassReg() { DropIndexes(); }

void TClassReg::DropIndexes() {
    delete FMethodIndex.exchange(nullptr);
    delete FPropertyIndex.exchange(nullptr);
}

const TNameIndex& TClassReg::MethodIndex() const {
    const TNameIndex* index = FMethodIndex.load(std::memory_order_acquire);
    if (index != nullptr) return *index;
    std::vector<TNameIndex::TNames> names;
    for (int32_t i = 0; i < MethCount; ++i) {
        const TMethReg* meth = Method(i);
        if (meth == nullptr) break;
        names.push_back({&meth->MethNameLoc, &meth->MethName});
    }
    return Publish(FMethodIndex, std::move(names));
}

const TNameIndex& TClassReg::PropertyIndex() const {
    const TNameIndex* index = FPropertyIndex.load(std::memory_order_acquire);
    if (index != nullptr) return *index;
    std::vector<TNameIndex::TNames> names;
    for (int32_t i = 0; i < PropCount; ++i) {
        const TPropReg* prop = Property(i);
        if (prop == nullptr) break;
        names.push_back({&prop->PropNameLoc, &prop->PropName});
    }
    return Publish(FPropertyIndex, std::move(names));
}

TMethReg* TClassReg::AddFunc(const std::u16string& MethName, const std::u16string& MethNameLoc,
                             TV8CallAsFunc ExecuteProc, int32_t ParamCount) {
    DropIndexes();
    TMethReg* meth = AddMethod(*this, MethName, MethNameLoc, true, ParamCount);
    meth->ExecuteFunc = ExecuteProc;
    return meth;
}

TMethReg* TClassReg::AddProc(const std::u16string& MethName, const std::u16string& MethNameLoc,
                             TV8CallAsProc ExecuteProc, int32_t ParamCount) {
    DropIndexes();
    TMethReg* meth = AddMethod(*this, MethName, MethNameLoc, false, ParamCount);
    meth->ExecuteProc = ExecuteProc;
    return meth;
}

void TClassReg::AddProp(const std::u16string& PropName, const std::u16string& PropNameLoc,
                        bool IsReadable, bool IsWritable, TV8PropertyGetSet PropGetSet) {
    DropIndexes();
    auto prop = std::make_unique<TPropReg>();
    prop->PropName = PropName;
    prop->PropNameLoc = PropNameLoc;
    prop->IsReadable = IsReadable;
    prop->IsWritable = IsWritable;
    prop->PropGetSet = PropGetSet;
    PropList.push_back(std::move(prop));
    PropCount = static_cast<int32_t>(PropList.size());
}

TMethReg* TClassReg::Method(int32_t index) const {
    if (index < 0 || index >= MethCount || static_cast<size_t>(index) >= MethList.size())
        return nullptr;
    return MethList[static_cast<size_t>(index)].get();
}

TPropReg* TClassReg::Property(int32_t index) const {
    if (index < 0 || index >= PropCount || static_cast<size_t>(index) >= PropList.size())
        return nullptr;
    return PropList[static_cast<size_t>(index)].get();
}

V8Variant* TDefParamList::AddParam(int32_t Num) {
    TDefParamValue entry;
    std::memset(static_cast<void*>(&entry), 0, sizeof(entry));
    entry.Num = Num - 1;  // the caller counts from 1, the host from 0
    Values.push_back(entry);
    ValueCount = static_cast<int32_t>(Values.size());
    // The entry is packed: its value sits at byte 4, so it is reached through
    // byte copies, never through a typed access.
    char* raw = reinterpret_cast<char*>(&Values.back());
    return reinterpret_cast<V8Variant*>(raw + offsetof(TDefParamValue, Value));
}

namespace {

void StoreDefault(TDefParamList& list, const V8Variant& value, int32_t ParamNum) {
    list.TempParam = list.AddParam(ParamNum);
    std::memcpy(static_cast<void*>(list.TempParam), &value, sizeof(V8Variant));
}

V8Variant Typed(uint32_t vt) {
    V8Variant v;
    std::memset(static_cast<void*>(&v), 0, sizeof(v));
    v.vt = vt;
    return v;
}

}  // namespace

void TDefParamList::AddAString(const char* V, int32_t ParamNum) {
    V8Variant v = Typed(VTYPE_PSTR);
    v.VarEnum.vtRecString.pstrVal = const_cast<char*>(V);
    v.VarEnum.vtRecString.strLen = V != nullptr ? static_cast<uint32_t>(std::strlen(V)) : 0;
    StoreDefault(*this, v, ParamNum);
}

void TDefParamList::AddBool(bool V, int32_t ParamNum) {
    V8Variant v = Typed(VTYPE_BOOL);
    v.VarEnum.bVal = V ? 1 : 0;
    StoreDefault(*this, v, ParamNum);
}

void TDefParamList::AddDate(double V, int32_t ParamNum) {
    V8Variant v = Typed(VTYPE_DATE);
    v.VarEnum.date = V;
    StoreDefault(*this, v, ParamNum);
}

void TDefParamList::AddDouble(double V, int32_t ParamNum) {
    V8Variant v = Typed(VTYPE_R8);
    v.VarEnum.dblVal = V;
    StoreDefault(*this, v, ParamNum);
}

void TDefParamList::AddInt(int32_t V, int32_t ParamNum) {
    V8Variant v = Typed(VTYPE_I4);
    v.VarEnum.lVal = V;
    StoreDefault(*this, v, ParamNum);
}

void TDefParamList::AddWString(const char16_t* V, int32_t ParamNum) {
    V8Variant v = Typed(VTYPE_PWSTR);
    v.VarEnum.vtRecWideString.pwstrVal = const_cast<char16_t*>(V);
    v.VarEnum.vtRecWideString.wstrLen = static_cast<uint32_t>(text::Length(V));
    StoreDefault(*this, v, ParamNum);
}
