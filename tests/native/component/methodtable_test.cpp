// The class "KelmorTarvik1C4" and its 37 methods as the host sees them through
// the entry points and the ILanguageExtender slots.
#include <set>

#include "tests/native/component/component_support.h"

namespace comptest {
namespace {

struct TExpectedMethod {
    const char16_t* Name;
    const char16_t* NameLoc;
    int32_t ParamCount;
};

// The host's equipment interface, index by index.
const TExpectedMethod ExpectedMethods[] = {
    {u"GetInterfaceRevision", u"ПолучитьРевизиюИнтерфейса", 0},
    {u"GetDescription", u"ПолучитьОписание", 1},
    {u"GetLastError", u"ПолучитьОшибку", 1},
    {u"GetParameters", u"ПолучитьПараметры", 1},
    {u"SetParameter", u"УстановитьПараметр", 2},
    {u"Open", u"Подключить", 1},
    {u"Close", u"Отключить", 1},
    {u"DeviceTest", u"ТестУстройства", 2},
    {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1},
    {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1},
    {u"GetLocalizationPattern", u"ПолучитьШаблонЛокализации", 1},
    {u"SetLocalization", u"УстановитьЛокализацию", 1},
    {u"EquipmentParameters", u"ПараметрыОборудования", 2},
    {u"EquipmentTest", u"ТестированиеОборудования", 4},
    {u"SetApplicationInformation", u"УстановитьИнформациюПриложения", 1},
    {u"ConnectEquipment", u"ПодключитьОборудование", 3},
    {u"DisconnectEquipment", u"ОтключитьОборудование", 1},
    {u"EquipmentAutoSetup", u"АвтонастройкаОборудования", 5},
    {u"GetDataKKT", u"ПолучитьПараметрыККТ", 2},
    {u"OperationFN", u"ОперацияФН", 3},
    {u"OpenShift", u"ОткрытьСмену", 3},
    {u"CloseShift", u"ЗакрытьСмену", 3},
    {u"ProcessCheck", u"СформироватьЧек", 4},
    {u"ProcessCorrectionCheck", u"СформироватьЧекКоррекции", 4},
    {u"PrintTextDocument", u"НапечататьТекстовыйДокумент", 2},
    {u"CashInOutcome", u"НапечататьЧекВнесенияВыемки", 3},
    {u"PrintXReport", u"НапечататьОтчетБезГашения", 2},
    {u"PrintCheckCopy", u"НапечататьКопиюЧека", 2},
    {u"GetCurrentStatus", u"ПолучитьТекущееСостояние", 3},
    {u"ReportCurrentStatusOfSettlements", u"ОтчетОТекущемСостоянииРасчетов", 3},
    {u"OpenCashDrawer", u"ОткрытьДенежныйЯщик", 1},
    {u"GetLineLength", u"ПолучитьШиринуСтроки", 2},
    {u"OpenSessionRegistrationKM", u"ОткрытьСессиюРегистрацииКМ", 1},
    {u"CloseSessionRegistrationKM", u"ЗакрытьСессиюРегистрацииКМ", 1},
    {u"RequestKM", u"ЗапросКМ", 3},
    {u"GetProcessingKMResult", u"ПолучитьРезультатыЗапросаКМ", 3},
    {u"ConfirmKM", u"ПодтвердитьКМ", 3},
};
constexpr int32_t ExpectedCount = sizeof(ExpectedMethods) / sizeof(ExpectedMethods[0]);

TEST(MethodTableTest, RegistersTheClassWithItsMethodsInOrder) {
    TClassRegList list;
    TClassReg* reg = RegisterExtention30(list);
    ASSERT_NE(nullptr, reg);
    ASSERT_EQ(1, list.ClassCount);
    EXPECT_EQ(u"KelmorTarvik1C4", reg->RegisterExtensionAs);
    EXPECT_EQ(u"KelmorTarvik1C4", reg->NatApiClassName);
    EXPECT_EQ(0, reg->PropCount);
    ASSERT_EQ(ExpectedCount, reg->MethCount);
    for (int32_t i = 0; i < ExpectedCount; ++i) {
        SCOPED_TRACE(i);
        const TMethReg* m = reg->Method(i);
        ASSERT_NE(nullptr, m);
        EXPECT_EQ(ExpectedMethods[i].Name, m->MethName);
        EXPECT_EQ(ExpectedMethods[i].NameLoc, m->MethNameLoc);
        EXPECT_EQ(ExpectedMethods[i].ParamCount, m->ParamCount);
        EXPECT_TRUE(m->IsFunction);
        EXPECT_NE(nullptr, m->ExecuteFunc);
        EXPECT_TRUE(m->DefParams == nullptr || m->DefParams->Values.empty()) << "no default values";
        EXPECT_EQ(i, Extention30Methods[i].Index);
        for (int32_t j = 0; j < i; ++j)
            EXPECT_FALSE(Extention30Methods[j].Handler == Extention30Methods[i].Handler)
                << "every method has its own handler; shared with " << j;
    }
}

class MethodSlotsTest : public TComponentTest {};

TEST_F(MethodSlotsTest, TheHostFindsEveryMethodByEitherNameWithItsCountAndResult) {
    TV8ComponentBase* object = NewObject();
    const hostabi::TLanguageExtender t = hostabi::TComponent(object).LanguageExtender();

    EXPECT_EQ(ExpectedCount, t.GetNMethods());
    EXPECT_EQ(0, t.GetNProps());
    for (int32_t i = 0; i < ExpectedCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(i, t.FindMethod(ExpectedMethods[i].Name));
        EXPECT_EQ(i, t.FindMethod(ExpectedMethods[i].NameLoc));
        EXPECT_EQ(ExpectedMethods[i].ParamCount, t.GetNParams(i));
        EXPECT_TRUE(t.HasRetVal(i));
        V8Variant def = fakehost::Empty();
        EXPECT_FALSE(t.GetParamDefValue(i, 0, &def));
    }
    EXPECT_EQ(-1, t.FindMethod(u"confirmkm")) << "names are compared case-sensitively";

    char16_t* extension = nullptr;
    ASSERT_TRUE(t.RegisterExtensionAs(&extension));
    ASSERT_NE(nullptr, extension);
    EXPECT_EQ(u"KelmorTarvik1C4", std::u16string(extension));
    FMM.HostFree(extension);
}

TEST_F(MethodSlotsTest, TheClassIsListedAndCreatedByItsExactName) {
    const char16_t* names = GetClassNames();
    ASSERT_NE(nullptr, names);
    std::u16string all = names;
    std::set<std::u16string> listed;
    for (size_t start = 0;;) {
        size_t bar = all.find(u'|', start);
        listed.insert(all.substr(start, bar == std::u16string::npos ? std::u16string::npos : bar - start));
        if (bar == std::u16string::npos) break;
        start = bar + 1;
    }
    EXPECT_EQ(1u, listed.count(u"KelmorTarvik1C4"));

    void* p = nullptr;
    EXPECT_EQ(0, GetClassObject(u"kelmortarvik1c4", &p));
    EXPECT_EQ(nullptr, p);
    TV8ComponentBase* object = NewObject();
    ASSERT_NE(nullptr, object);
    auto* component = dynamic_cast<TExtention30*>(static_cast<TV8UserObject*>(hostabi::TComponent(object).Word(4)));
    ASSERT_NE(nullptr, component);
    EXPECT_EQ(Extention30ClassName, component->ClassReg->NatApiClassName);
    EXPECT_EQ(2000, hostabi::TComponent(object).InitDone().GetInfo());
}

// --- The arguments the table names ---------------------------------------------------

int32_t NamedArgs(const TExtention30Method& m) {
    int32_t n = 0;
    while (n < Extention30MaxParams && m.Args[n].Name != nullptr) ++n;
    return n;
}

TEST(MethodTableTest, EveryMethodNamesAsManyArgumentsAsItRegisters) {
    TClassRegList list;
    TClassReg* reg = RegisterExtention30(list);
    ASSERT_EQ(static_cast<int32_t>(Extention30MethodCount), reg->MethCount);
    for (size_t i = 0; i < Extention30MethodCount; ++i) {
        const TExtention30Method& m = Extention30Methods[i];
        SCOPED_TRACE(U8(m.Name));
        EXPECT_EQ(reg->Method(static_cast<int32_t>(i))->ParamCount, NamedArgs(m));
        EXPECT_TRUE(m.Result.Kind == TArgKind::Boolean || m.Result.Kind == TArgKind::Integer);
        EXPECT_NE(nullptr, m.Result.Meaning);
        std::set<std::u16string> names;
        for (int32_t k = 0; k < NamedArgs(m); ++k) {
            EXPECT_TRUE(names.insert(m.Args[k].Name).second) << "argument names are unique: " << U8(m.Args[k].Name);
            if (m.Args[k].Use == TArgUse::Out) {
                EXPECT_TRUE(m.Args[k].Kind == TArgKind::Text || m.Args[k].Kind == TArgKind::Integer)
                    << "the handlers write texts and integers only";
            }
        }
    }
}

// What the table says about each argument is what the handler does: an
// argument marked "in" is read with the kind given (a different value of that
// kind reaches the driver differently); one marked "out" is written with its
// kind and never read (whatever the host passes there changes nothing). The
// result value has the kind the table gives.
class MethodArgumentsTest : public TComponentTest {
protected:
    // Two host values per argument: the one of the first call and another.
    static THostArg Value(const TExtention30Arg& a, bool other) {
        if (a.Use == TArgUse::Out) return other ? T(u"another host value") : HostOut();
        switch (a.Kind) {
            case TArgKind::Text: return T(other ? u"changed" : a.Name);
            case TArgKind::Boolean: return B(!other);
            case TArgKind::Integer: return I(other ? 8 : 7);
            case TArgKind::Number: return D(other ? 1.5 : 1.25);  // the same integer part
            case TArgKind::Any: return other ? I(42) : T(u"any");
        }
        return E();
    }

    // The driver's record of one call on a new object.
    std::vector<std::string> DriverRecord(const TExtention30Method& m, const std::vector<THostArg>& args,
                                          TCallResult* kept = nullptr) {
        FState = TDriverState();
        TV8ComponentBase* object = NewObject();
        TCallResult r = Call(object, m.Index, args);
        EXPECT_TRUE(r.Answer);
        std::vector<std::string> record = FState.Calls;
        for (int32_t v : FState.FormatVersionWrites) record.push_back("format version " + std::to_string(v));
        if (kept != nullptr) {
            *kept = r;
        } else {
            Release(r);
        }
        Destroy(object);
        return record;
    }
};

TEST_F(MethodArgumentsTest, InArgumentsAreReadAndOutArgumentsWrittenAsTheTableSays) {
    for (size_t i = 0; i < Extention30MethodCount; ++i) {
        const TExtention30Method& m = Extention30Methods[i];
        SCOPED_TRACE(U8(m.Name));
        std::vector<THostArg> args;
        for (int32_t k = 0; k < m.ParamCount; ++k) args.push_back(Value(m.Args[k], false));

        TCallResult first;
        const std::vector<std::string> record = DriverRecord(m, args, &first);
        EXPECT_FALSE(record.empty());
        EXPECT_EQ(m.Result.Kind == TArgKind::Integer ? VTYPE_I4 : VTYPE_BOOL, fakehost::TypeOf(first.Ret));
        for (int32_t k = 0; k < m.ParamCount; ++k) {
            const TExtention30Arg& a = m.Args[k];
            SCOPED_TRACE(U8(a.Name));
            const V8Variant& v = first.Params[static_cast<size_t>(k)];
            if (a.Use == TArgUse::Out && a.Kind == TArgKind::Integer) {
                EXPECT_EQ(VTYPE_I4, fakehost::TypeOf(v)) << "written as an integer";
            } else if (a.Use == TArgUse::Out) {
                EXPECT_EQ(VTYPE_PWSTR, fakehost::TypeOf(v));
                EXPECT_NE(u"host-value", fakehost::ReadWString(v)) << "written as a text";
            } else {
                V8Variant passed = Make(args[static_cast<size_t>(k)]);
                EXPECT_EQ(fakehost::TypeOf(passed), fakehost::TypeOf(v)) << "an input is left as the host passed it";
                if (fakehost::TypeOf(v) == VTYPE_PWSTR) {
                    EXPECT_EQ(fakehost::ReadWString(passed), fakehost::ReadWString(v));
                }
                fakehost::Release(FMM, passed);
            }

            std::vector<THostArg> changed = args;
            changed[static_cast<size_t>(k)] = Value(a, true);
            if (a.Use == TArgUse::In) {
                EXPECT_NE(record, DriverRecord(m, changed)) << "an input reaches the driver";
                if (a.Kind == TArgKind::Integer) {
                    // Read as an integer, not as a number: the fraction is dropped.
                    std::vector<THostArg> low = args, high = args;
                    low[static_cast<size_t>(k)] = D(7.25);
                    high[static_cast<size_t>(k)] = D(7.75);
                    EXPECT_EQ(DriverRecord(m, low), DriverRecord(m, high)) << "an integer input";
                }
            } else {
                EXPECT_EQ(record, DriverRecord(m, changed)) << "an out-argument is never read";
            }
        }
        Release(first);
    }
    EXPECT_EQ(0u, FMM.LiveBlocks());
}

}  // namespace
}  // namespace comptest
