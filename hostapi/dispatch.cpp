// The slots of ILanguageExtender: names, counts and calls of the methods and
// properties registered for the object's class.
#include <cstring>

#include "hostapi/barrier.h"
#include "hostapi/classreg.h"
#include "hostapi/componentbase.h"
#include "hostapi/hostvalues.h"
#include "hostapi/nameindex.h"
#include "hostapi/startup.h"
#include "hostapi/userobject.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/text.h"

const char16_t* const V8ErrorSource = u"Внешняя компонента";

void ReportCurrentFailure(TV8UserObject* object) noexcept {
    try {
        const std::u16string message = FailureMessage(std::current_exception());
        if (object == nullptr) return;
        TV8AddInDefBase* connection = object->V8;
        if (connection == nullptr || connection->vtbl == nullptr || connection->vtbl->AddError == nullptr)
            return;  // no connection yet: nobody to tell
        connection->vtbl->AddError(connection, ADDIN_E_FAIL, V8ErrorSource, message.c_str(), V8_E_FAIL);
    } catch (...) {
    }
}

namespace {

const TClassReg* RegOf(const TV8UserObject* object) {
    return object != nullptr ? object->ClassReg : nullptr;
}

const TClassReg* RegOf(TV8View self) { return RegOf(ObjectOfView(self)); }

// The registration of one property or method, null for an index outside the
// registered range.
const TPropReg* PropOf(const TV8UserObject* object, int32_t index) {
    const TClassReg* reg = RegOf(object);
    return reg != nullptr ? reg->Property(index) : nullptr;
}

const TMethReg* MethodOf(const TV8UserObject* object, int32_t index) {
    const TClassReg* reg = RegOf(object);
    return reg != nullptr ? reg->Method(index) : nullptr;
}

std::u16string_view NameArg(const char16_t* name) {
    return name != nullptr ? std::u16string_view(name, text::Length(name)) : std::u16string_view();
}

// Hands a name to the host in a block of its heap; null when that fails.
const char16_t* HandOut(TV8UserObject* object, const std::u16string& name) {
    char16_t* p = nullptr;
    return V8CopyWString(object->V8MM, name, &p) ? p : nullptr;
}

// --- Extension name ---------------------------------------------------------

V8Bool V8_CALL RegisterExtensionAsSlot(TV8View self, char16_t** extensionName) {
    return Barrier<V8Bool>(false, [&]() -> V8Bool {
        TV8UserObject* object = ObjectOfView(self);
        if (extensionName == nullptr) return false;
        *extensionName = nullptr;
        const TClassReg* reg = RegOf(object);
        if (reg == nullptr) return false;
        return V8CopyWString(object->V8MM, reg->RegisterExtensionAs, extensionName);
    });
}

// --- Properties -------------------------------------------------------------

int32_t V8_CALL GetNPropsSlot(TV8View self) {
    return Barrier<int32_t>(0, [&]() -> int32_t {
        const TClassReg* reg = RegOf(self);
        return reg != nullptr ? reg->PropCount : 0;
    });
}

int32_t V8_CALL FindPropSlot(TV8View self, const char16_t* name) {
    return Barrier<int32_t>(-1, [&]() -> int32_t {
        const TClassReg* reg = RegOf(self);
        if (reg == nullptr) return -1;
        return reg->PropertyIndex().Find(NameArg(name));
    });
}

const char16_t* V8_CALL GetPropNameSlot(TV8View self, int32_t index, int32_t alias) {
    return Barrier<const char16_t*>(nullptr, [&]() -> const char16_t* {
        const TPropReg* prop = PropOf(ObjectOfView(self), index);
        if (prop == nullptr) return nullptr;
        return HandOut(ObjectOfView(self), alias != 0 ? prop->PropNameLoc : prop->PropName);
    });
}

V8Bool CallAccessor(TV8View self, int32_t index, V8Variant* value, bool get) {
    TV8UserObject* object = ObjectOfView(self);
    return ReportingBarrier(object, [&]() -> V8Bool {
        const TPropReg* prop = PropOf(object, index);
        if (prop == nullptr || prop->PropGetSet == nullptr) return false;
        return (object->*(prop->PropGetSet))(value, get, object->V8);
    });
}

V8Bool V8_CALL GetPropValSlot(TV8View self, int32_t index, V8Variant* value) {
    return Barrier<V8Bool>(false, [&] { return CallAccessor(self, index, value, true); });
}

V8Bool V8_CALL SetPropValSlot(TV8View self, int32_t index, V8Variant* value) {
    return Barrier<V8Bool>(false, [&] { return CallAccessor(self, index, value, false); });
}

V8Bool V8_CALL IsPropReadableSlot(TV8View self, int32_t index) {
    return Barrier<V8Bool>(false, [&]() -> V8Bool {
        const TPropReg* prop = PropOf(ObjectOfView(self), index);
        return prop != nullptr && prop->IsReadable;
    });
}

V8Bool V8_CALL IsPropWritableSlot(TV8View self, int32_t index) {
    return Barrier<V8Bool>(false, [&]() -> V8Bool {
        const TPropReg* prop = PropOf(ObjectOfView(self), index);
        return prop != nullptr && prop->IsWritable;
    });
}

// --- Methods ----------------------------------------------------------------

int32_t V8_CALL GetNMethodsSlot(TV8View self) {
    return Barrier<int32_t>(0, [&]() -> int32_t {
        const TClassReg* reg = RegOf(self);
        return reg != nullptr ? reg->MethCount : 0;
    });
}

int32_t V8_CALL FindMethodSlot(TV8View self, const char16_t* name) {
    return Barrier<int32_t>(-1, [&]() -> int32_t {
        const TClassReg* reg = RegOf(self);
        const int32_t result = reg != nullptr ? reg->MethodIndex().Find(NameArg(name)) : -1;
        // A hit is written twice, a miss once; with the log off not at all.
        TLogFile& log = GetLogFile();
        if (log.Enabled()) {
            const text::TDecimal number(result);
            if (result >= 0) log.WritePieces(TLogLevel::Debug, {u"_FindMethod: ", number.View()});
            log.WritePieces(TLogLevel::Debug, {u"_FindMethod: ", number.View()});
        }
        return result;
    });
}

const char16_t* V8_CALL GetMethodNameSlot(TV8View self, int32_t index, int32_t alias) {
    return Barrier<const char16_t*>(nullptr, [&]() -> const char16_t* {
        TLogFile& log = GetLogFile();
        log.SetEnabled(true);
        log.SetFileName(AddInLogFileName);
        log.WritePieces(TLogLevel::Debug, {u"_GetMethodName ", text::TDecimal(index).View()});
        const TMethReg* meth = MethodOf(ObjectOfView(self), index);
        if (meth == nullptr) return nullptr;
        return HandOut(ObjectOfView(self), alias != 0 ? meth->MethNameLoc : meth->MethName);
    });
}

int32_t V8_CALL GetNParamsSlot(TV8View self, int32_t index) {
    return Barrier<int32_t>(0, [&]() -> int32_t {
        const TMethReg* meth = MethodOf(ObjectOfView(self), index);
        return meth != nullptr ? meth->ParamCount : 0;
    });
}

// The host frees the payload of every value it receives through its memory
// manager, so a text default goes out as a copy in a block of the host's
// heap, never as the registered text itself. False when there is no manager
// or the host refuses the block; the value is then left alone.
bool HandOverDefault(TV8UserObject* object, V8Variant& value) {
    const uint32_t t = value.vt & 0xFFF;
    if (t == VTYPE_PWSTR) {
        const char16_t* registered = value.VarEnum.vtRecWideString.pwstrVal;
        if (registered == nullptr) return true;
        const std::u16string wide(registered, text::Length(registered));
        char16_t* copy = nullptr;
        if (!V8CopyWString(object->V8MM, wide, &copy) || copy == nullptr) return false;
        value.VarEnum.vtRecWideString.pwstrVal = copy;
        value.VarEnum.vtRecWideString.wstrLen = static_cast<uint32_t>(wide.size());
    } else if (t == VTYPE_PSTR) {
        const char* registered = value.VarEnum.vtRecString.pstrVal;
        if (registered == nullptr) return true;
        const size_t n = std::strlen(registered);
        if (n >= UINT32_MAX) return false;
        void* block = nullptr;
        if (!V8Alloc(object->V8MM, &block, static_cast<uint32_t>(n + 1)) || block == nullptr) return false;
        std::memcpy(block, registered, n + 1);
        value.VarEnum.vtRecString.pstrVal = static_cast<char*>(block);
        value.VarEnum.vtRecString.strLen = static_cast<uint32_t>(n);
    }
    return true;
}

V8Bool V8_CALL GetParamDefValueSlot(TV8View self, int32_t methodIndex, int32_t paramIndex,
                                    V8Variant* value) {
    return Barrier<V8Bool>(false, [&]() -> V8Bool {
        TV8UserObject* object = ObjectOfView(self);
        const TMethReg* meth = MethodOf(object, methodIndex);
        if (meth == nullptr || !meth->DefParams || value == nullptr) return false;
        // Every entry is walked: the last matching one wins.
        const TDefParamValue* match = nullptr;
        for (const TDefParamValue& entry : meth->DefParams->Values) {
            int32_t num = 0;
            std::memcpy(&num, reinterpret_cast<const char*>(&entry) + offsetof(TDefParamValue, Num),
                        sizeof(num));
            if (num == paramIndex) match = &entry;
        }
        if (match == nullptr) return false;
        V8Variant copy;
        std::memcpy(static_cast<void*>(&copy),
                    reinterpret_cast<const char*>(match) + offsetof(TDefParamValue, Value),
                    sizeof(V8Variant));
        if (!HandOverDefault(object, copy)) return false;
        std::memcpy(static_cast<void*>(value), &copy, sizeof(V8Variant));
        return true;
    });
}

V8Bool V8_CALL HasRetValSlot(TV8View self, int32_t index) {
    return Barrier<V8Bool>(false, [&]() -> V8Bool {
        const TMethReg* meth = MethodOf(ObjectOfView(self), index);
        return meth != nullptr && meth->IsFunction;
    });
}

// Clears a scratch result value whatever way the handler leaves.
class TScratchValue {
public:
    explicit TScratchValue(TV8UserObject* object) : FObject(object) {
        std::memset(static_cast<void*>(&FValue), 0, sizeof(FValue));
    }
    ~TScratchValue() {
        BarrierVoid([&] { FObject->V8ClearVar(&FValue); });
    }
    TScratchValue(const TScratchValue&) = delete;
    TScratchValue& operator=(const TScratchValue&) = delete;
    V8Variant* Get() { return &FValue; }

private:
    TV8UserObject* FObject;
    V8Variant FValue;
};

V8Bool V8_CALL CallAsProcSlot(TV8View self, int32_t index, V8Variant* params, int32_t count) {
    return Barrier<V8Bool>(false, [&]() -> V8Bool {
        TV8UserObject* object = ObjectOfView(self);
        return ReportingBarrier(object, [&]() -> V8Bool {
            const TMethReg* meth = MethodOf(object, index);
            if (meth == nullptr) return false;
            if (meth->IsFunction) {
                // A function called as a procedure: its result goes nowhere.
                if (meth->ExecuteFunc == nullptr) return false;
                TScratchValue result(object);
                return (object->*(meth->ExecuteFunc))(result.Get(), params, count, object->V8);
            }
            if (meth->ExecuteProc == nullptr) return false;
            return (object->*(meth->ExecuteProc))(params, count, object->V8);
        });
    });
}

V8Bool V8_CALL CallAsFuncSlot(TV8View self, int32_t index, V8Variant* retValue, V8Variant* params,
                              int32_t count) {
    return Barrier<V8Bool>(false, [&]() -> V8Bool {
        TV8UserObject* object = ObjectOfView(self);
        return ReportingBarrier(object, [&]() -> V8Bool {
            const TMethReg* meth = MethodOf(object, index);
            if (meth == nullptr) return false;
            if (meth->IsFunction) {
                if (meth->ExecuteFunc == nullptr) return false;
                return (object->*(meth->ExecuteFunc))(retValue, params, count, object->V8);
            }
            // A procedure has no result: the host's value stays as it is.
            if (meth->ExecuteProc == nullptr) return false;
            return (object->*(meth->ExecuteProc))(params, count, object->V8);
        });
    });
}

}  // namespace

const TLanguageExtenderTable LanguageExtenderTable = {
    &LanguageExtenderDestructorSlot,
    &RegisterExtensionAsSlot,
    &GetNPropsSlot,
    &FindPropSlot,
    &GetPropNameSlot,
    &GetPropValSlot,
    &SetPropValSlot,
    &IsPropReadableSlot,
    &IsPropWritableSlot,
    &GetNMethodsSlot,
    &FindMethodSlot,
    &GetMethodNameSlot,
    &GetNParamsSlot,
    &GetParamDefValueSlot,
    &HasRetValSlot,
    &CallAsProcSlot,
    &CallAsFuncSlot,
};
