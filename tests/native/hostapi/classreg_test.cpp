// The registry of component classes, their methods, properties and defaults.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "hostapi/classreg.h"

namespace {

class TRegObject : public TV8UserObject {
public:
    bool F(V8Variant*, V8Variant*, int32_t, TV8AddInDefBase*&) { return true; }
    bool G(V8Variant*, V8Variant*, int32_t, TV8AddInDefBase*&) { return false; }
    bool P(V8Variant*, int32_t, TV8AddInDefBase*&) { return true; }
    bool Prop(V8Variant*, bool, TV8AddInDefBase*&) { return true; }
};

class ClassRegistry : public ::testing::Test {
protected:
    void SetUp() override { ResetClassRegistryForTests(); }
    void TearDown() override { ResetClassRegistryForTests(); }
};

// The fields of a default entry, read byte-wise: the entry is packed.
int32_t NumOf(const TDefParamValue& e) {
    int32_t n;
    std::memcpy(&n, reinterpret_cast<const char*>(&e) + offsetof(TDefParamValue, Num), sizeof(n));
    return n;
}
V8Variant ValueOf(const TDefParamValue& e) {
    V8Variant v;
    std::memcpy(static_cast<void*>(&v), reinterpret_cast<const char*>(&e) + offsetof(TDefParamValue, Value),
                sizeof(v));
    return v;
}

TEST_F(ClassRegistry, ClassNamesJoinRegisteredNamesInOrder) {
    TClassRegList& list = ClassRegList();
    TClassReg* a = list.RegisterClass(&CreateUserObject<TRegObject>, u"ExtA", u"KelmorTarvik1C4");
    EXPECT_EQ(ClassNames(), u"KelmorTarvik1C4");
    TClassReg* b = list.RegisterClass(&CreateUserObject<TRegObject>, u"ExtB", u"B");
    TClassReg* c = list.RegisterClass(nullptr, u"ExtC", u"C");
    EXPECT_EQ(ClassNames(), u"KelmorTarvik1C4|B|C");
    ASSERT_EQ(list.ClassCount, 3);
    ASSERT_EQ(list.ClassList.size(), 3u);
    EXPECT_EQ(list.ClassList[0].get(), a);
    EXPECT_EQ(list.ClassList[1].get(), b);
    EXPECT_EQ(list.ClassList[2].get(), c);
    EXPECT_EQ(a->RegisterExtensionAs, u"ExtA");
    EXPECT_EQ(a->NatApiClassName, u"KelmorTarvik1C4");
    EXPECT_EQ(a->UserClass, &CreateUserObject<TRegObject>);
    EXPECT_EQ(a->MethCount, 0);
    EXPECT_EQ(a->PropCount, 0);
}

TEST_F(ClassRegistry, AnEmptyFirstNameAddsNoSeparator) {
    ClassRegList().RegisterClass(nullptr, u"", u"");
    EXPECT_EQ(ClassNames(), u"");
    ClassRegList().RegisterClass(nullptr, u"", u"Next");
    EXPECT_EQ(ClassNames(), u"Next");
    EXPECT_EQ(ClassRegList().ClassCount, 2);
}

TEST_F(ClassRegistry, MethodsAreIndexedInRegistrationOrderAndKeepDuplicates) {
    TClassReg* reg = ClassRegList().RegisterClass(nullptr, u"X", u"X");
    TMethReg* m0 = reg->AddFunc(u"Open", u"Открыть", AsFunc(&TRegObject::F), 2);
    TMethReg* m1 = reg->AddProc(u"Beep", u"Сигнал", AsProc(&TRegObject::P), 0);
    TMethReg* m2 = reg->AddFunc(u"Open", u"ОткрытьСнова", AsFunc(&TRegObject::G), 5);
    ASSERT_EQ(reg->MethCount, 3);
    ASSERT_EQ(reg->MethList.size(), 3u);
    EXPECT_EQ(reg->Method(0), m0);
    EXPECT_EQ(reg->Method(1), m1);
    EXPECT_EQ(reg->Method(2), m2);

    EXPECT_EQ(m0->MethName, u"Open");
    EXPECT_EQ(m0->MethNameLoc, u"Открыть");
    EXPECT_TRUE(m0->IsFunction);
    EXPECT_EQ(m0->ParamCount, 2);
    EXPECT_TRUE(m0->ExecuteFunc == AsFunc(&TRegObject::F));
    EXPECT_TRUE(m0->ExecuteProc == nullptr);

    EXPECT_FALSE(m1->IsFunction);
    EXPECT_TRUE(m1->ExecuteProc == AsProc(&TRegObject::P));
    EXPECT_TRUE(m1->ExecuteFunc == nullptr);

    EXPECT_EQ(m2->ParamCount, 5);
    EXPECT_TRUE(m2->ExecuteFunc == AsFunc(&TRegObject::G));

    for (TMethReg* m : {m0, m1, m2}) {
        ASSERT_NE(m->DefParams, nullptr);
        EXPECT_EQ(m->DefParams->ValueCount, 0);
        EXPECT_TRUE(m->DefParams->Values.empty());
    }
}

TEST_F(ClassRegistry, LookupsOutsideTheListsAnswerNull) {
    TClassReg* reg = ClassRegList().RegisterClass(nullptr, u"X", u"X");
    reg->AddFunc(u"A", u"А", AsFunc(&TRegObject::F), 0);
    reg->AddProp(u"P", u"П", true, false, nullptr);
    for (int32_t index : {-1, 1, 2, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(reg->Method(index), nullptr);
        EXPECT_EQ(reg->Property(index), nullptr);
    }
    EXPECT_NE(reg->Method(0), nullptr);
    EXPECT_NE(reg->Property(0), nullptr);
}

TEST_F(ClassRegistry, PropertiesKeepNamesFlagsAndAccessor) {
    TClassReg* reg = ClassRegList().RegisterClass(nullptr, u"X", u"X");
    reg->AddProp(u"Speed", u"Скорость", true, false, static_cast<TV8PropertyGetSet>(&TRegObject::Prop));
    reg->AddProp(u"Mode", u"Режим", false, true, nullptr);
    ASSERT_EQ(reg->PropCount, 2);
    const TPropReg* p0 = reg->Property(0);
    EXPECT_EQ(p0->PropName, u"Speed");
    EXPECT_EQ(p0->PropNameLoc, u"Скорость");
    EXPECT_TRUE(p0->IsReadable);
    EXPECT_FALSE(p0->IsWritable);
    EXPECT_TRUE(p0->PropGetSet == static_cast<TV8PropertyGetSet>(&TRegObject::Prop));
    const TPropReg* p1 = reg->Property(1);
    EXPECT_FALSE(p1->IsReadable);
    EXPECT_TRUE(p1->IsWritable);
    EXPECT_TRUE(p1->PropGetSet == nullptr);
}

TEST_F(ClassRegistry, DefaultsCountArgumentsFromOneAndKeepTheCallersText) {
    static const char16_t wide[] = u"по умолчанию";
    static const char narrow[] = "abc";
    TDefParamList list;
    list.AddInt(5, 1);
    list.AddWString(wide, 2);
    list.AddBool(true, 3);
    list.AddDouble(2.5, 4);
    list.AddDate(45000.25, 5);
    list.AddAString(narrow, 6);
    ASSERT_EQ(list.ValueCount, 6);
    ASSERT_EQ(list.Values.size(), 6u);

    struct TExpect {
        int32_t num;
        uint32_t vt;
    };
    const TExpect expect[] = {{0, VTYPE_I4},   {1, VTYPE_PWSTR}, {2, VTYPE_BOOL},
                              {3, VTYPE_R8},   {4, VTYPE_DATE},  {5, VTYPE_PSTR}};
    std::vector<V8Variant> values;
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(NumOf(list.Values[i]), expect[i].num);
        values.push_back(ValueOf(list.Values[i]));
        EXPECT_EQ(values[i].vt, expect[i].vt);
        EXPECT_EQ(values[i].cbElements, 0u);
    }
    EXPECT_EQ(values[0].VarEnum.lVal, 5);
    EXPECT_EQ(values[1].VarEnum.vtRecWideString.pwstrVal, wide);
    EXPECT_EQ(values[1].VarEnum.vtRecWideString.wstrLen, 12u);
    EXPECT_EQ(values[2].VarEnum.bVal, 1);
    EXPECT_EQ(values[3].VarEnum.dblVal, 2.5);
    EXPECT_EQ(values[4].VarEnum.date, 45000.25);
    EXPECT_EQ(values[5].VarEnum.vtRecString.pstrVal, narrow);
    EXPECT_EQ(values[5].VarEnum.vtRecString.strLen, 3u);

    // TempParam is the value of the entry added last.
    const char* last = reinterpret_cast<const char*>(&list.Values.back()) + offsetof(TDefParamValue, Value);
    EXPECT_EQ(reinterpret_cast<const char*>(list.TempParam), last);
}

TEST_F(ClassRegistry, AddParamGivesAnEmptyValueForTheZeroBasedIndex) {
    TDefParamList list;
    V8Variant* v = list.AddParam(3);
    ASSERT_EQ(list.ValueCount, 1);
    EXPECT_EQ(NumOf(list.Values[0]), 2);
    V8Variant copy;
    std::memcpy(static_cast<void*>(&copy), v, sizeof(copy));
    EXPECT_EQ(copy.vt, VTYPE_EMPTY);
}

}  // namespace
