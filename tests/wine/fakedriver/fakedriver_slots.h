// The test double's own description of the driver interface: one function
// pointer per slot, in slot order, typed from the interface's published slot
// list. Kept apart from the library's declaration on purpose, so that a slip
// in either one shows up as a failing test instead of being copied.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>

struct TDualObject;  // what every slot receives as its first argument

typedef VARIANT_BOOL VB;
#define FAKE_SLOT(name, ...) HRESULT(__stdcall* name)(TDualObject*, __VA_ARGS__)

struct TDriverSlots {
    /* slot  0 */ HRESULT(__stdcall* QueryInterface)(TDualObject*, const IID&, void**);
    /* slot  1 */ ULONG(__stdcall* AddRef)(TDualObject*);
    /* slot  2 */ ULONG(__stdcall* Release)(TDualObject*);
    /* slot  3 */ FAKE_SLOT(GetTypeInfoCount, UINT*);
    /* slot  4 */ FAKE_SLOT(GetTypeInfo, UINT, LCID, ITypeInfo**);
    /* slot  5 */ FAKE_SLOT(GetIDsOfNames, const IID&, LPOLESTR*, UINT, LCID, DISPID*);
    /* slot  6 */ FAKE_SLOT(Invoke, DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*);
    /* slot  7 GetInterfaceRevision() -> long */
    FAKE_SLOT(GetInterfaceRevision, LONG*);
    /* slot  8 GetDescription(out DriverDescription) */
    FAKE_SLOT(GetDescription, BSTR*, VB*);
    /* slot  9 GetLastError(out ErrorDescription) -> long */
    FAKE_SLOT(GetLastError, BSTR*, LONG*);
    /* slot 10 GetParameters(out TableParameters) */
    FAKE_SLOT(GetParameters, BSTR*, VB*);
    /* slot 11 SetParameter(Name, Value: VARIANT by value) */
    FAKE_SLOT(SetParameter, BSTR, VARIANT, VB*);
    /* slot 12 Open(out DeviceID) */
    FAKE_SLOT(Open, BSTR*, VB*);
    /* slot 13 Close(DeviceID) */
    FAKE_SLOT(Close, BSTR, VB*);
    /* slot 14 DeviceTest(out Description, out DemoModeIsActivated) */
    FAKE_SLOT(DeviceTest, BSTR*, BSTR*, VB*);
    /* slot 15 GetAdditionalActions(out TableActions) */
    FAKE_SLOT(GetAdditionalActions, BSTR*, VB*);
    /* slot 16 DoAdditionalAction(ActionName) */
    FAKE_SLOT(DoAdditionalAction, BSTR, VB*);
    /* slot 17 GetDataKKT(DeviceID, out TableParametersKKT) */
    FAKE_SLOT(GetDataKKT, BSTR, BSTR*, VB*);
    /* slot 18 OperationFN(DeviceID, OperationType: long, ParametersFiscal) */
    FAKE_SLOT(OperationFN, BSTR, LONG, BSTR, VB*);
    /* slot 19 OpenShift(DeviceID, InputParameters, out OutputParameters) */
    FAKE_SLOT(OpenShift, BSTR, BSTR, BSTR*, VB*);
    /* slot 20 CloseShift(DeviceID, InputParameters, out OutputParameters) */
    FAKE_SLOT(CloseShift, BSTR, BSTR, BSTR*, VB*);
    /* slot 21 ProcessCheck(DeviceID, Electronically: VARIANT_BOOL, CheckPackage, out DocumentOutputParameters) */
    FAKE_SLOT(ProcessCheck, BSTR, VB, BSTR, BSTR*, VB*);
    /* slot 22 ProcessCorrectionCheck(same arguments as slot 21) */
    FAKE_SLOT(ProcessCorrectionCheck, BSTR, VB, BSTR, BSTR*, VB*);
    /* slot 23 CashInOutcome(DeviceID, InputParameters, Amount: double) */
    FAKE_SLOT(CashInOutcome, BSTR, BSTR, double, VB*);
    /* slot 24 PrintXReport(DeviceID, InputParameters) */
    FAKE_SLOT(PrintXReport, BSTR, BSTR, VB*);
    /* slot 25 GetCurrentStatus(DeviceID, InputParameters, out OutputParameters) */
    FAKE_SLOT(GetCurrentStatus, BSTR, BSTR, BSTR*, VB*);
    /* slot 26 ReportCurrentStatusOfSettlements(DeviceID, InputParameters, out OutputParameters) */
    FAKE_SLOT(ReportCurrentStatusOfSettlements, BSTR, BSTR, BSTR*, VB*);
    /* slot 27 OpenCashDrawer(DeviceID) */
    FAKE_SLOT(OpenCashDrawer, BSTR, VB*);
    /* slot 28 GetLineLength(DeviceID, out LineLength: long) */
    FAKE_SLOT(GetLineLength, BSTR, LONG*, VB*);
    /* slot 29 PrintCheckCopy(DeviceID, CheckNumber) */
    FAKE_SLOT(PrintCheckCopy, BSTR, BSTR, VB*);
    /* slot 30 PrintTextDocument(DeviceID, DocumentPackage) */
    FAKE_SLOT(PrintTextDocument, BSTR, BSTR, VB*);
    /* slot 31 property get kelmor_FormatVersion */
    FAKE_SLOT(GetFormatVersionSlot, LONG*);
    /* slot 32 property put kelmor_FormatVersion */
    FAKE_SLOT(PutFormatVersionSlot, LONG);
    /* slot 33 OpenSessionRegistrationKM(DeviceID) */
    FAKE_SLOT(OpenSessionRegistrationKM, BSTR, VB*);
    /* slot 34 CloseSessionRegistrationKM(DeviceID) */
    FAKE_SLOT(CloseSessionRegistrationKM, BSTR, VB*);
    /* slot 35 RequestKM(DeviceID, RequestKM, out RequestKMResult) */
    FAKE_SLOT(RequestKM, BSTR, BSTR, BSTR*, VB*);
    /* slot 36 GetProcessingKMResult(DeviceID, out ProcessingKMResult, out RequestStatus: long) */
    FAKE_SLOT(GetProcessingKMResult, BSTR, BSTR*, LONG*, VB*);
    /* slot 37 ConfirmKM(DeviceID, RequestGUID, ConfirmationType: long) */
    FAKE_SLOT(ConfirmKM, BSTR, BSTR, LONG, VB*);
    /* slot 38 GetLocalizationPattern(out LocalizationPattern) */
    FAKE_SLOT(GetLocalizationPattern, BSTR*, VB*);
    /* slot 39 SetLocalization(LanguageCode, LocalizationPattern) */
    FAKE_SLOT(SetLocalization, BSTR, BSTR, VB*);
    /* slot 40 EquipmentParameters(EquipmentType, out TableParameters) */
    FAKE_SLOT(EquipmentParameters, BSTR, BSTR*, VB*);
    /* slot 41 EquipmentTest(EquipmentType, ConnectionParameters, out Description, out DemoModeIsActivated) */
    FAKE_SLOT(EquipmentTest, BSTR, BSTR, BSTR*, BSTR*, VB*);
    /* slot 42 SetApplicationInformation(ApplicationSettings) */
    FAKE_SLOT(SetApplicationInformation, BSTR, VB*);
    /* slot 43 ConnectEquipment(out DeviceID, EquipmentType, ConnectionParameters) */
    FAKE_SLOT(ConnectEquipment, BSTR*, BSTR, BSTR, VB*);
    /* slot 44 DisconnectEquipment(DeviceID) */
    FAKE_SLOT(DisconnectEquipment, BSTR, VB*);
    /* slot 45 EquipmentAutoSetup(out EquipmentType, ConnectionParametersIn, out ConnectionParametersOut,
                                  ShowAutoSetupWindow: VARIANT_BOOL, Timeout: long) */
    FAKE_SLOT(EquipmentAutoSetup, BSTR*, BSTR, BSTR*, VB, LONG, VB*);
};

#undef FAKE_SLOT

// Slot n sits n pointers into the table.
static_assert(sizeof(TDriverSlots) == 46 * sizeof(void*), "slots 0..45");
static_assert(offsetof(TDriverSlots, GetFormatVersionSlot) == 31 * sizeof(void*), "property get at 31");
