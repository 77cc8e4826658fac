// Test-only add-in classes, registered at load in place of the product's
// class. They exercise the host interface of the core under Wine: names in
// two languages, text results in host memory, output arguments, two
// properties, and failures that must reach the host as error reports.
#include <string>

#include "hostapi/classreg.h"
#include "hostapi/hostvalues.h"
#include "hostapi/startup.h"
#include "hostapi/userobject.h"
#include "platform/failure.h"

namespace {

class TTestAddin : public TV8UserObject {
public:
    // Greet(name) -> "Привет, <name>!"
    bool Greet(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*&) {
        if (ParamCount != 1) RaiseFailure(u"Greet: ожидается один параметр");
        return V8SetWString(RetValue, u"Привет, " + V8GetWString(&Params[0]) + u"!");
    }

    // Add(a, b) -> a + b as an integer.
    bool Add(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*&) {
        if (ParamCount != 2) RaiseFailure(u"Add: ожидается два параметра");
        V8SetInt(RetValue, V8GetInt(&Params[0]) + V8GetInt(&Params[1]));
        return true;
    }

    // Fail(text): always raises a failure carrying "Сбой: <text>".
    bool Fail(V8Variant*, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*&) {
        std::u16string detail = ParamCount > 0 ? V8GetWString(&Params[0]) : std::u16string();
        RaiseFailure(u"Сбой: " + detail);
    }

    // SetText(out, text): a procedure writing text into its first argument
    // (replacing whatever the host had put there).
    bool SetText(V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*&) {
        if (ParamCount != 2) RaiseFailure(u"SetText: ожидается два параметра");
        return V8SetWString(&Params[0], V8GetWString(&Params[1]));
    }

    // Counter: a readable and writable integer property.
    bool CounterProp(V8Variant* value, bool Get, TV8AddInDefBase*&) {
        if (Get) {
            V8SetInt(value, FCounter);
            return true;
        }
        if (value->vt != VTYPE_I4 && value->vt != VTYPE_R8 && value->vt != VTYPE_I2)
            RaiseFailure(u"Counter: нужно число");
        FCounter = V8GetInt(value);
        return true;
    }

    // Revision: a read-only integer property (readable, not writable), so
    // that the host can tell the two flags apart.
    bool RevisionProp(V8Variant* value, bool Get, TV8AddInDefBase*&) {
        if (!Get) RaiseFailure(u"Revision: только для чтения");
        V8SetInt(value, 3);
        return true;
    }

private:
    int32_t FCounter = 0;
};

// A class without methods: only there so that two class names are offered.
class TTestSecond : public TV8UserObject {};

void RegisterTestClasses(TClassRegList& list) {
    TClassReg* reg = list.RegisterClass(&CreateUserObject<TTestAddin>, u"KelmorTestExt", u"KelmorTestAddin");
    reg->AddFunc(u"Greet", u"Поприветствовать", AsFunc(&TTestAddin::Greet), 1);
    reg->AddFunc(u"Add", u"Сложить", AsFunc(&TTestAddin::Add), 2);
    reg->AddFunc(u"Fail", u"Сбойнуть", AsFunc(&TTestAddin::Fail), 1);
    reg->AddProc(u"SetText", u"ЗаписатьТекст", AsProc(&TTestAddin::SetText), 2);
    reg->AddProp(u"Counter", u"Счётчик", true, true,
                 static_cast<TV8PropertyGetSet>(&TTestAddin::CounterProp));
    reg->AddProp(u"Revision", u"Ревизия", true, false,
                 static_cast<TV8PropertyGetSet>(&TTestAddin::RevisionProp));
    list.RegisterClass(&CreateUserObject<TTestSecond>, u"KelmorTestSecondExt", u"KelmorTestSecond");
}

// At load, the way the product registers its class.
[[maybe_unused]] const bool TestClassesRegistered = RegisterClassesAtLoad(&RegisterTestClasses);

}  // namespace
