// TExtention30: the fiscal equipment component the host creates as
// "KelmorTarvik1C4". Each handler turns one host call into one call of the
// driver adapter and writes the answers back into the host's values.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "driver/driver30.h"
#include "hostapi/userobject.h"
#include "logging/logger.h"

// The failure a handler meets when the object has no driver adapter.
extern const char16_t* const DriverObjectNotSetMessage;

// Makes the component's driver adapter; may raise, which leaves the component
// without one.
using TAdapterMaker = std::unique_ptr<TDriver30> (*)();
// The product's adapter: the fiscal driver through the platform (COM).
std::unique_ptr<TDriver30> MakePlatformAdapter();

class TExtention30 : public TV8UserObject {
public:
    explicit TExtention30(TAdapterMaker MakeAdapter = &MakePlatformAdapter);
    ~TExtention30() override;

    bool GetInterfaceRevision(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool GetDescription(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool GetLastError(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool GetParameters(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool SetParameter(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool Open(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool Close(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool DeviceTest(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool GetAdditionalActions(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool DoAdditionalAction(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool GetLocalizationPattern(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool SetLocalization(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool EquipmentParametersAsync(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool EquipmentTest(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool SetAppInfo(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool ConnectEquipment(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool DisconnectEquipment(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool EquipmentAutoSetup(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool GetDataKKT(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool OperationFN(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool OpenShift(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool CloseShift(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool ProcessCheck(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool ProcessCorrectionCheck(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool PrintTextDocument(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool CashInOutcome(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool PrintXReport(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool PrintCheckCopy(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool GetCurrentStatus(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool ReportCurrentStatusOfSettlements(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                          TV8AddInDefBase*& v8);
    bool OpenCashDrawer(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool GetLineLength(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool OpenSessionRegistrationKM(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                   TV8AddInDefBase*& v8);
    bool CloseSessionRegistrationKM(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount,
                                    TV8AddInDefBase*& v8);
    bool RequestKM(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool GetProcessingKMResult(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);
    bool ConfirmKM(V8Variant* RetValue, V8Variant* Params, int32_t ParamCount, TV8AddInDefBase*& v8);

    // Raises a failure when the host passed fewer arguments than required.
    static void CheckParamCount(int32_t ParamCount, int32_t Required);

private:
    // The common failure path: one error line, then false.
    bool HandleError(std::exception_ptr Caught);
    // Runs the guarded part of a handler: true when it went through, else the
    // failure is logged and the answer is false.
    template <class TBody>
    bool Guarded(TBody&& Body);
    // The trace line every handler writes first.
    void TraceCall(const char16_t* MethodName, int32_t ParamCount);
    // The adapter; raises when there is none.
    TDriver30& Driver();

    TLogger FLogger;
    std::unique_ptr<TDriver30> FDriver;  // destroyed before FLogger
};
