// The driver adapter and the COM wrappers against the fiscal driver's test
// double (fakedriver.dll, next to this program). This program plays the host:
// it initialises COM on its thread, registers the double, and checks what the
// double's journal says it received and what came back.
//
// Prints "PASS: <test>" or "FAIL: <test>: <detail>" per test and ends with
// "SUMMARY: N passed, N failed"; exit code 1 when anything failed.
#include <windows.h>
#include <ole2.h>
#include <psapi.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver30.h"
#include "driver/oleerror.h"
#include "driver/tarvik_win.h"
#include "driver/versioninfo.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

// --- A tiny test frame -----------------------------------------------------------

int GPassed = 0, GFailed = 0;
std::vector<std::string> GProblems;  // of the running test

void Fail(int line, const std::string& what) { GProblems.push_back("line " + std::to_string(line) + ": " + what); }

#define CHECK(cond) \
    do { \
        if (!(cond)) Fail(__LINE__, #cond); \
    } while (0)
#define CHECK_EQ(actual, expected) CheckEq(__LINE__, #actual, (actual), (expected))

std::string Show(const std::string& s) { return "\"" + s + "\""; }
std::string Show(const std::u16string& s) { return Show(text::ToUtf8(s)); }
std::string Show(long long v) { return std::to_string(v); }

void CheckEq(int line, const char* what, const std::string& a, const std::string& e) {
    if (a != e) Fail(line, std::string(what) + " is " + Show(a) + ", expected " + Show(e));
}
void CheckEq(int line, const char* what, const std::u16string& a, const std::u16string& e) {
    if (a != e) Fail(line, std::string(what) + " is " + Show(a) + ", expected " + Show(e));
}
void CheckEq(int line, const char* what, long long a, long long e) {
    if (a != e) Fail(line, std::string(what) + " is " + Show(a) + ", expected " + Show(e));
}

void RunTest(const char* name, const std::function<void()>& body) {
    GProblems.clear();
    try {
        body();
    } catch (const EFailure& e) {
        GProblems.push_back("unexpected failure: " + text::ToUtf8(e.Message()));
    } catch (const std::exception& e) {
        GProblems.push_back(std::string("unexpected exception: ") + e.what());
    }
    if (GProblems.empty()) {
        ++GPassed;
        printf("PASS: %s\n", name);
    } else {
        ++GFailed;
        for (const std::string& p : GProblems) printf("FAIL: %s: %s\n", name, p.c_str());
    }
    fflush(stdout);
}

// The message of the failure a call raises; "(no failure)" when it raises none.
std::string FailureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EFailure& e) {
        return text::ToUtf8(e.Message());
    }
    return "(no failure)";
}

std::string U8(const std::u16string& s) { return text::ToUtf8(s); }
std::string U8(const TOutText& s) { return text::ToUtf8(s.Text()); }
std::u16string U16(const std::string& s) { return text::FromUtf8(s); }
std::wstring W(const std::string& s) {
    std::u16string u = U16(s);
    return std::wstring(u.begin(), u.end());
}

// --- The double's controls and journal -----------------------------------------------

const char* const Controls[] = {
    "KELMOR_FAKEDRIVER_FAIL",           "KELMOR_FAKEDRIVER_FAIL_HR",       "KELMOR_FAKEDRIVER_FAIL_TEXT",
    "KELMOR_FAKEDRIVER_ANSWER",         "KELMOR_FAKEDRIVER_OUT",           "KELMOR_FAKEDRIVER_OUT_REPEAT",
    "KELMOR_FAKEDRIVER_REVISION",       "KELMOR_FAKEDRIVER_HIDE_INTERFACE", "KELMOR_FAKEDRIVER_PROPERTY_FAIL",
    "KELMOR_FAKEDRIVER_PROPERTY_TEXT",  "KELMOR_FAKEDRIVER_PROPERTY_TYPE", "KELMOR_FAKEDRIVER_VERSION",
    "KELMOR_FAKEDRIVER_VERSION_FAIL",   "KELMOR_FAKEDRIVER_REFUSE_CREATE", "KELMOR_FAKEDRIVER_REFUSE_TEXT",
};

void SetControl(const char* name, const std::string& value) {
    ::SetEnvironmentVariableW(W(name).c_str(), W(value).c_str());
}
void ClearControls() {
    for (const char* name : Controls) ::SetEnvironmentVariableW(W(name).c_str(), nullptr);
}

std::wstring GJournalPath;

void JournalOn() { ::SetEnvironmentVariableW(L"KELMOR_FAKEDRIVER_JOURNAL", GJournalPath.c_str()); }
void JournalOff() { ::SetEnvironmentVariableW(L"KELMOR_FAKEDRIVER_JOURNAL", nullptr); }

std::vector<std::string> JournalLines() {
    std::vector<std::string> lines;
    HANDLE h = ::CreateFileW(GJournalPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lines;
    std::string data;
    char buf[65536];
    DWORD n = 0;
    while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) data.append(buf, n);
    ::CloseHandle(h);
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        lines.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The journal lines written after the mark was taken.
class TJournalMark {
public:
    TJournalMark() : FStart(JournalLines().size()) {}
    std::vector<std::string> Since() const {
        std::vector<std::string> all = JournalLines();
        return std::vector<std::string>(all.begin() + static_cast<long>(FStart < all.size() ? FStart : all.size()),
                                        all.end());
    }
    std::string Last() const {
        std::vector<std::string> s = Since();
        return s.empty() ? std::string("(nothing)") : s.back();
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const std::string& l : Since()) n += l.compare(0, prefix.size(), prefix) == 0;
        return n;
    }

private:
    size_t FStart;
};


// What the double writes for an in-text longer than 200 characters.
std::string LongTextArg(const std::u16string& s) {
    uint32_t hash = 2166136261u;
    for (char16_t c : s) {
        hash = (hash ^ static_cast<uint8_t>(c & 0xFF)) * 16777619u;
        hash = (hash ^ static_cast<uint8_t>(c >> 8)) * 16777619u;
    }
    char buf[48];
    snprintf(buf, sizeof buf, "#%u:%08x", static_cast<unsigned>(s.size()), hash);
    return buf;
}

HMODULE GDouble = nullptr;

HRESULT CallDouble(const char* exportName) {
    auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(::GetProcAddress(GDouble, exportName)));
    return fn ? fn() : E_NOTIMPL;
}

std::string Attribute(const std::string& doc, const std::string& name) {
    size_t at = doc.find(" " + name + "=");
    if (at == std::string::npos) return "(missing)";
    at += name.size() + 2;
    char quote = doc[at];
    size_t end = doc.find(quote, at + 1);
    return doc.substr(at + 1, end - at - 1);
}

const char* const NotInstalled = "Объект драйвера не установлен";

// The add-in's log, switched on into a file of the temporary folder while the
// object lives. Lines are read back from code page 1251, without their time
// and thread header.
class TLogCapture {
public:
    TLogCapture() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        FPath = std::wstring(temp) + L"kelmor-driver-log-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
        ::DeleteFileW(FPath.c_str());
        GetLogFile().SetFileName(std::u16string(FPath.begin(), FPath.end()));
        GetLogFile().SetEnabled(true);
    }
    ~TLogCapture() {
        GetLogFile().SetEnabled(false);
        GetLogFile().SetFileName(u"");
        ::DeleteFileW(FPath.c_str());
    }
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        HANDLE h = ::CreateFileW(FPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return lines;
        std::string data;
        char buf[4096];
        DWORD n = 0;
        while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) data.append(buf, n);
        ::CloseHandle(h);
        std::wstring wide(data.size(), L'\0');
        if (!data.empty())
            wide.resize(static_cast<size_t>(::MultiByteToWideChar(1251, 0, data.data(), static_cast<int>(data.size()),
                                                                   &wide[0], static_cast<int>(wide.size()))));
        const std::string text = U8(std::u16string(wide.begin(), wide.end()));
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            // "[date time] [thread] [LEVEL] text": keep from the level on.
            size_t header = line.find("] [");
            if (header != std::string::npos) header = line.find("] ", header + 3);
            lines.push_back(header == std::string::npos ? line : line.substr(header + 2));
            start = end + 1;
        }
        return lines;
    }

private:
    std::wstring FPath;
};

// The adapter's line for a driver it could not create.
std::string CreationCauseLine(const std::string& cause) {
    return "[ERROR] TDriver30 Не удалось создать объект драйвера: " + cause;
}

// --- The tests -------------------------------------------------------------------------

void ForwardingPassesArgumentsAndReturnsOuts() {
    TDriver30 adapter;
    adapter.Set_kelmor_FormatVersion(30);
    using S = TOutText;
    struct TCase {
        std::string Journal;  // without the trailing "\tfv=30"
        std::string Outs;
        std::function<std::string(TDriver30&)> Run;
    };
    const std::vector<TCase> cases = {
        {"GetInterfaceRevision", "3012", [](TDriver30& d) { return std::to_string(d.GetInterfaceRevision()); }},
        {"GetLastError\tout:null", "12|GetLastError.0 ответ",
         [](TDriver30& d) { S e(u"e"); int32_t c = d.GetLastError(e); return std::to_string(c) + "|" + U8(e); }},
        {"GetParameters\tout:null", "1|GetParameters.0 ответ",
         [](TDriver30& d) { S t(u"t"); bool r = d.GetParameters(t); return std::to_string(r) + "|" + U8(t); }},
        {"SetParameter\t\"Скорость\"\tv8:\"115200\"", "1",
         [](TDriver30& d) { return std::to_string(d.SetParameter(u"Скорость", TAutoValue::FromText(u"115200"))); }},
        {"Open\tout:null", "1|Open.0 ответ",
         [](TDriver30& d) { S id(u"x"); bool r = d.Open(id); return std::to_string(r) + "|" + U8(id); }},
        {"Close\t\"a\\r\\nб\"", "1", [](TDriver30& d) { return std::to_string(d.Close(u"a\r\nб")); }},
        {"DeviceTest\tout:null\tout:null", "DeviceTest.0 ответ|DeviceTest.1 ответ",
         [](TDriver30& d) { S a(u"a"), b(u"b"); d.DeviceTest(a, b); return U8(a) + "|" + U8(b); }},
        {"GetAdditionalActions\tout:null", "GetAdditionalActions.0 ответ",
         [](TDriver30& d) { S t; d.GetAdditionalActions(t); return U8(t); }},
        {"DoAdditionalAction\t\"ОтчетX\"", "1",
         [](TDriver30& d) { return std::to_string(d.DoAdditionalAction(u"ОтчетX")); }},
        {"GetDataKKT\t\"1\"\tout:null", "GetDataKKT.0 ответ",
         [](TDriver30& d) { S t; d.GetDataKKT(u"1", t); return U8(t); }},
        {"OperationFN\t\"1\"\ti:2\t\"<Параметры/>\"", "1",
         [](TDriver30& d) { return std::to_string(d.OperationFN(u"1", 2, u"<Параметры/>")); }},
        {"OpenShift\t\"1\"\t\"<In/>\"\tout:null", "OpenShift.0 ответ",
         [](TDriver30& d) { S o; d.OpenShift(u"1", u"<In/>", o); return U8(o); }},
        {"CloseShift\t\"1\"\t\"<In/>\"\tout:null", "CloseShift.0 ответ",
         [](TDriver30& d) { S o; d.CloseShift(u"1", u"<In/>", o); return U8(o); }},
        {"ProcessCheck\t\"1\"\tvb:-1\t\"<Чек/>\"\tout:null", "ProcessCheck.0 ответ",
         [](TDriver30& d) { S o; d.ProcessCheck(u"1", true, u"<Чек/>", o); return U8(o); }},
        {"ProcessCheck\t\"1\"\tvb:0\t\"<Чек/>\"\tout:null", "ProcessCheck.0 ответ",
         [](TDriver30& d) { S o; d.ProcessCheck(u"1", false, u"<Чек/>", o); return U8(o); }},
        {"ProcessCorrectionCheck\t\"1\"\tvb:-1\t\"<Чек/>\"\tout:null", "ProcessCorrectionCheck.0 ответ",
         [](TDriver30& d) { S o; d.ProcessCorrectionCheck(u"1", true, u"<Чек/>", o); return U8(o); }},
        {"ProcessCorrectionCheck\t\"1\"\tvb:0\t\"<Чек/>\"\tout:null", "ProcessCorrectionCheck.0 ответ",
         [](TDriver30& d) { S o; d.ProcessCorrectionCheck(u"1", false, u"<Чек/>", o); return U8(o); }},
        {"CashInOutcome\t\"1\"\t\"<In/>\"\td:-1234.5", "1",
         [](TDriver30& d) { return std::to_string(d.CashInOutcome(u"1", u"<In/>", -1234.5)); }},
        {"PrintXReport\t\"1\"\t\"<In/>\"", "1", [](TDriver30& d) { return std::to_string(d.PrintXReport(u"1", u"<In/>")); }},
        {"PrintCheckCopy\t\"1\"\t\"25\"", "1", [](TDriver30& d) { return std::to_string(d.PrintCheckCopy(u"1", u"25")); }},
        {"PrintTextDocument\t\"1\"\t\"<Документ/>\"", "1",
         [](TDriver30& d) { return std::to_string(d.PrintTextDocument(u"1", u"<Документ/>")); }},
        {"GetCurrentStatus\t\"1\"\t\"<In/>\"\tout:null", "GetCurrentStatus.0 ответ",
         [](TDriver30& d) { S o; d.GetCurrentStatus(u"1", u"<In/>", o); return U8(o); }},
        {"ReportCurrentStatusOfSettlements\t\"1\"\t\"<In/>\"\tout:null", "ReportCurrentStatusOfSettlements.0 ответ",
         [](TDriver30& d) { S o; d.ReportCurrentStatusOfSettlements(u"1", u"<In/>", o); return U8(o); }},
        {"OpenCashDrawer\t\"1\"", "1", [](TDriver30& d) { return std::to_string(d.OpenCashDrawer(u"1")); }},
        {"GetLineLength\t\"1\"", "42",
         [](TDriver30& d) { int32_t n = 0; d.GetLineLength(u"1", n); return std::to_string(n); }},
        {"OpenSessionRegistrationKM\t\"1\"", "1",
         [](TDriver30& d) { return std::to_string(d.OpenSessionRegistrationKM(u"1")); }},
        {"CloseSessionRegistrationKM\t\"1\"", "1",
         [](TDriver30& d) { return std::to_string(d.CloseSessionRegistrationKM(u"1")); }},
        {"RequestKM\t\"1\"\t\"<KM/>\"\tout:null", "RequestKM.0 ответ",
         [](TDriver30& d) { S o; d.RequestKM(u"1", u"<KM/>", o); return U8(o); }},
        {"GetProcessingKMResult\t\"1\"\tout:null", "GetProcessingKMResult.0 ответ|3",
         [](TDriver30& d) {
             S o;
             int32_t status = 0;
             d.GetProcessingKMResult(u"1", o, status);
             return U8(o) + "|" + std::to_string(status);
         }},
        {"ConfirmKM\t\"1\"\t\"{0F}\"\ti:1", "1", [](TDriver30& d) { return std::to_string(d.ConfirmKM(u"1", u"{0F}", 1)); }},
        {"GetLocalizationPattern\tout:null", "GetLocalizationPattern.0 ответ",
         [](TDriver30& d) { S p(u"прежний"); d.GetLocalizationPattern(p); return U8(p); }},
        {"SetLocalization\t\"ru\"\t\"<L/>\"", "1",
         [](TDriver30& d) { return std::to_string(d.SetLocalization(u"ru", u"<L/>")); }},
        {"EquipmentParameters\t\"ККТ\"\tout:null", "EquipmentParameters.0 ответ",
         [](TDriver30& d) { S t; d.EquipmentParameters(u"ККТ", t); return U8(t); }},
        {"EquipmentTest\t\"ККТ\"\t\"<Conn/>\"\tout:null\tout:null", "EquipmentTest.0 ответ|EquipmentTest.1 ответ",
         [](TDriver30& d) { S a, b; d.EquipmentTest(u"ККТ", u"<Conn/>", a, b); return U8(a) + "|" + U8(b); }},
        {"SetApplicationInformation\t\"<App/>\"", "1",
         [](TDriver30& d) { return std::to_string(d.SetApplicationInformation(u"<App/>")); }},
        {"ConnectEquipment\tout:null\t\"ККТ\"\t\"<Conn/>\"", "0|1|ConnectEquipment.0 ответ",
         [](TDriver30& d) {
             S id(u"host's");
             bool r = false;
             int32_t st = d.ConnectEquipment(id, u"ККТ", u"<Conn/>", r);
             return std::to_string(st) + "|" + std::to_string(r) + "|" + U8(id);
         }},
        {"DisconnectEquipment\t\"1\"", "0|1",
         [](TDriver30& d) { bool r = false; int32_t st = d.DisconnectEquipment(u"1", r); return std::to_string(st) + "|" + std::to_string(r); }},
        {"EquipmentAutoSetup\tout:null\t\"<In/>\"\tout:null\tvb:-1\ti:10000", "0|1|EquipmentAutoSetup.0 ответ|EquipmentAutoSetup.1 ответ",
         [](TDriver30& d) {
             S t(u"t"), o(u"o");
             bool r = false;
             int32_t st = d.EquipmentAutoSetup(t, u"<In/>", o, true, 10000, r);
             return std::to_string(st) + "|" + std::to_string(r) + "|" + U8(t) + "|" + U8(o);
         }},
        {"EquipmentAutoSetup\tout:null\t\"\"\tout:null\tvb:0\ti:5", "0|1",
         [](TDriver30& d) {
             S t, o;
             bool r = false;
             int32_t st = d.EquipmentAutoSetup(t, u"", o, false, 5, r);
             return std::to_string(st) + "|" + std::to_string(r);
         }},
    };
    for (const TCase& c : cases) {
        TJournalMark mark;
        std::string outs = c.Run(adapter);
        std::vector<std::string> lines = mark.Since();
        if (lines.size() != 1) {
            Fail(__LINE__, c.Journal + ": " + std::to_string(lines.size()) + " journal lines");
            continue;
        }
        CheckEq(__LINE__, "journal", lines[0], c.Journal + "\tfv=30");
        CheckEq(__LINE__, c.Journal.c_str(), outs, c.Outs);
    }
    CHECK_EQ(adapter.Get_kelmor_FormatVersion(), 30);
}

void DirectWrapperCallsAndVariantKinds() {
    // The wrapper's own description slot and the kinds a value can take.
    TTarvik1C30 driver;
    TJournalMark mark;
    TOutText description(u"old");
    CHECK(driver.GetDescription(description));
    CHECK_EQ(description.Text(), u"GetDescription.0 ответ");
    driver.SetParameter(u"N", TAutoValue::FromInt(-5));
    driver.SetParameter(u"N", TAutoValue::FromDouble(1.5));
    driver.SetParameter(u"N", TAutoValue::FromBool(true));
    driver.SetParameter(u"N", TAutoValue::FromBool(false));
    driver.SetParameter(u"N", TAutoValue::FromText(u""));
    std::vector<std::string> lines = mark.Since();
    const std::vector<std::string> expected = {
        "GetDescription\tout:null\tfv=10",  // the driver's own initial format version
        "SetParameter\t\"N\"\tv3:-5\tfv=10",      "SetParameter\t\"N\"\tv5:1.5\tfv=10",
        "SetParameter\t\"N\"\tv11:-1\tfv=10",     "SetParameter\t\"N\"\tv11:0\tfv=10",
        "SetParameter\t\"N\"\tv8:\"\"\tfv=10",
    };
    CHECK_EQ(static_cast<long long>(lines.size()), static_cast<long long>(expected.size()));
    for (size_t i = 0; i < lines.size() && i < expected.size(); ++i) CHECK_EQ(lines[i], expected[i]);
}

void MegabyteTextsBothWays() {
    std::u16string package = u"<CheckPackage>";
    while (package.size() < 1024 * 1024)
        package += u"<Позиция Наименование=\"Товар &amp; услуга\" Количество=\"1\" Цена=\"99,90\"/>\r\n";
    package += u"</CheckPackage>";
    const std::string piece = "<Строка Текст=\"Касса №1\"/>";
    const int repeat = 1024 * 1024 / 24 + 1;
    SetControl("KELMOR_FAKEDRIVER_OUT", piece);
    SetControl("KELMOR_FAKEDRIVER_OUT_REPEAT", std::to_string(repeat));

    TDriver30 adapter;
    adapter.Set_kelmor_FormatVersion(30);
    TJournalMark mark;
    TOutText out;
    CHECK(adapter.ProcessCheck(u"1", true, package, out));
    CHECK_EQ(mark.Last(), "ProcessCheck\t\"1\"\tvb:-1\t" + LongTextArg(package) + "\tout:null\tfv=30");
    std::u16string expected;
    for (int i = 0; i < repeat; ++i) expected += U16(piece);
    CHECK(out.View().size() >= 1024 * 1024);
    CHECK(out.View() == expected);
}

// In-texts go into BSTRs the driver object keeps: texts that grow, shrink and
// vanish from one call to the next all reach the driver whole.
void InTextsOfChangingLengths() {
    TDriver30 adapter;
    adapter.Set_kelmor_FormatVersion(30);
    const size_t lengths[] = {5000, 10, 0, 300, 4096, 1, 70000, 4096};
    for (size_t n : lengths) {
        std::u16string package;
        for (size_t i = 0; i < n; ++i) package += static_cast<char16_t>(u'А' + i % 32);
        const std::u16string device = std::u16string(n % 7 + 1, u'9');
        TJournalMark mark;
        TOutText out;
        CHECK(adapter.ProcessCheck(device, false, package, out));
        auto arg = [](const std::u16string& t) { return t.size() > 200 ? LongTextArg(t) : "\"" + U8(t) + "\""; };
        CHECK_EQ(mark.Last(), "ProcessCheck\t" + arg(device) + "\tvb:0\t" + arg(package) + "\tout:null\tfv=30");
    }
}

// Short in-texts (identifiers) are handed over in the BSTR kept from the
// last call when they are the same; a call made while another is under way
// (the driver pumping messages) must not touch the BSTRs the first call has
// handed to the driver.
void KeptInTexts() {
    TKeptTexts kept;
    const std::u16string package(TKeptTexts::MaxUnits + 1, u'Ж');
    BSTR first = nullptr;
    {
        TInTexts call(kept);
        first = call(u"1");
        BSTR long1 = call(package);
        CHECK(first == kept.Texts[0].Get() && long1 != kept.Texts[1].Get());
        CHECK_EQ(U8(TBStr::TextOf(long1)), U8(package));
    }
    {
        TInTexts call(kept);
        CHECK(call(u"1") == first);  // the same identifier: the same BSTR, untouched
        BSTR other = call(u"ККТ");
        CHECK(other == kept.Texts[1].Get());
        CHECK_EQ(U8(TBStr::TextOf(other)), "ККТ");
    }
    {
        TInTexts outer(kept);
        BSTR device = outer(u"2"), type = outer(u"ККТ");
        CHECK(device == kept.Texts[0].Get() && type == kept.Texts[1].Get());
        {
            TInTexts inner(kept);
            BSTR a = inner(u"3"), b = inner(u"Принтер");
            CHECK(a != device && b != type && a != nullptr && b != nullptr);
            CHECK_EQ(U8(TBStr::TextOf(a)) + "|" + U8(TBStr::TextOf(b)), "3|Принтер");
        }
        // The outer call's BSTRs are where they were, with their texts.
        CHECK(device == kept.Texts[0].Get() && type == kept.Texts[1].Get());
        CHECK_EQ(U8(TBStr::TextOf(kept.Texts[0].Get())), "2");
        CHECK_EQ(U8(TBStr::TextOf(kept.Texts[1].Get())), "ККТ");
    }
    // Free again: the next call uses them; an empty text is a BSTR too.
    TInTexts next(kept);
    BSTR empty = next(u"");
    CHECK(empty == kept.Texts[0].Get() && empty != nullptr && ::SysStringLen(empty) == 0);
    CHECK_EQ(FailureOf([&] { next(u"a"), next(u"b"); }), U8(StatusMessage(static_cast<int32_t>(0x8000FFFFu))));
}

// Long in-texts (packages) are copied into the BSTR kept for their place:
// the same block while the length stays, resized when it changes, always
// holding exactly the new text; a call made during another makes its own,
// and a text past the kept size is a BSTR of its own each time.
void LongInTextsRefillTheirBstr() {
    TKeptTexts kept;
    auto text = [](size_t n, char16_t first) {
        std::u16string t;
        for (size_t i = 0; i < n; ++i) t += static_cast<char16_t>(first + i % 29);
        return t;
    };
    auto holds = [](BSTR b, const std::u16string& t) {
        return b != nullptr && ::SysStringLen(b) == t.size() && TBStr::TextOf(b) == t && b[t.size()] == 0;
    };
    const size_t n = TKeptTexts::MaxUnits + 1;
    BSTR first = nullptr;
    {
        TInTexts call(kept);
        call(u"1");
        first = call(text(4096, u'А'));
        CHECK(first == kept.Long[1].Get() && holds(first, text(4096, u'А')));
    }
    {
        // Another package of the same length: the same BSTR, the new text.
        TInTexts call(kept);
        call(u"1");
        BSTR again = call(text(4096, u'а'));
        CHECK(again == first && holds(again, text(4096, u'а')));
    }
    // Longer, shorter, just over the short ones, the longest kept: each is
    // the whole text and only it, in the kept BSTR.
    for (size_t length : {size_t{9000}, size_t{4095}, n, size_t{4097}, TKeptTexts::MaxLongUnits, size_t{100}}) {
        TInTexts call(kept);
        const std::u16string device = u"2", package = text(length, u'Ж');
        BSTR d = call(device), p = call(package);
        CHECK(holds(d, device) && p == kept.Long[1].Get() && holds(p, package));
    }
    {
        TInTexts outer(kept);
        BSTR p = outer(text(5000, u'Б'));
        {
            TInTexts inner(kept);
            BSTR q = inner(text(5000, u'В'));
            CHECK(q != p && q != kept.Long[0].Get() && holds(q, text(5000, u'В')));
        }
        // The outer call's BSTR is where it was, with its text.
        CHECK(p == kept.Long[0].Get() && holds(p, text(5000, u'Б')));
    }
    {
        TInTexts call(kept);
        const BSTR before = kept.Long[0].Get();
        BSTR huge = call(text(TKeptTexts::MaxLongUnits + 1, u'Г'));
        CHECK(huge != kept.Long[0].Get() && kept.Long[0].Get() == before &&
              holds(huge, text(TKeptTexts::MaxLongUnits + 1, u'Г')));
    }
}

void VariantBoolAnswers() {
    TDriver30 adapter;
    TOutText id;
    bool result = false;
    const struct {
        const char* Raw;
        bool Expected;
    } cases[] = {{"-1", true}, {"1", true}, {"0", false}, {"2", true}};
    for (const auto& c : cases) {
        SetControl("KELMOR_FAKEDRIVER_ANSWER", c.Raw);
        CheckEq(__LINE__, c.Raw, adapter.Open(id), c.Expected);
        result = !c.Expected;
        CHECK_EQ(adapter.ConnectEquipment(id, u"ККТ", u"", result), 0);
        CheckEq(__LINE__, c.Raw, result, c.Expected);
    }
}

void FailureTexts() {
    TDriver30 adapter;
    TOutText id(u"keep");

    // The driver's description, cut at its end.
    SetControl("KELMOR_FAKEDRIVER_FAIL", "Open");
    SetControl("KELMOR_FAKEDRIVER_FAIL_TEXT", "Нет связи с ККТ. \r\n");
    CHECK_EQ(FailureOf([&] { adapter.Open(id); }), "Нет связи с ККТ");
    CHECK_EQ(id.Text(), u"");  // emptied before the call; the double's out-text is not taken

    // A description of only stops and blanks counts as none.
    SetControl("KELMOR_FAKEDRIVER_FAIL_TEXT", " . \t");
    const std::string unspecified = U8(platform::SystemErrorMessage(static_cast<int32_t>(0x80004005u)));
    printf("note: system message for 80004005: %s\n", unspecified.c_str());
    CHECK(!unspecified.empty());
    CHECK_EQ(FailureOf([&] { adapter.Open(id); }), unspecified);

    // No description: the system's message, else the code.
    ::SetEnvironmentVariableW(L"KELMOR_FAKEDRIVER_FAIL_TEXT", nullptr);
    SetControl("KELMOR_FAKEDRIVER_FAIL", "Close");
    CHECK_EQ(FailureOf([&] { adapter.Close(u"1"); }), unspecified);
    SetControl("KELMOR_FAKEDRIVER_FAIL_HR", "80040A01");
    CHECK_EQ(FailureOf([&] { adapter.Close(u"1"); }), "OLE error 80040a01");

    // An error object left over from something else is not taken for the driver's.
    {
        ICreateErrorInfo* create = nullptr;
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(::CreateErrorInfo(&create))) {
            create->SetDescription(const_cast<LPOLESTR>(L"stale description"));
            if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
                ::SetErrorInfo(0, info);
                info->Release();
            }
            create->Release();
        }
        CHECK_EQ(FailureOf([&] { adapter.Close(u"1"); }), "OLE error 80040a01");
    }

    // Status-returning operations answer E_UNEXPECTED and leave their result.
    SetControl("KELMOR_FAKEDRIVER_FAIL", "ConnectEquipment");
    bool result = true;
    CHECK_EQ(adapter.ConnectEquipment(id, u"ККТ", u"", result), static_cast<int32_t>(0x8000FFFFu));
    CHECK(result);
    CHECK_EQ(FailureOf([] { RaiseStatusFailure(static_cast<int32_t>(0x8000FFFFu)); }),
             U8(StatusMessage(static_cast<int32_t>(0x8000FFFFu))));
    SetControl("KELMOR_FAKEDRIVER_FAIL", "GetInterfaceRevision");
    CHECK_EQ(adapter.GetInterfaceRevision(), 4001);
    ClearControls();
    SetControl("KELMOR_FAKEDRIVER_REVISION", "3100");
    CHECK_EQ(adapter.GetInterfaceRevision(), 3100);
}

void PropertyFailures() {
    TDriver30 adapter;
    SetControl("KELMOR_FAKEDRIVER_PROPERTY_FAIL", "exception");
    SetControl("KELMOR_FAKEDRIVER_PROPERTY_TEXT", "Формат не поддерживается. \r\n");
    CHECK_EQ(FailureOf([&] { adapter.Set_kelmor_FormatVersion(47); }), "Формат не поддерживается");
    CHECK_EQ(FailureOf([&] { adapter.Get_kelmor_FormatVersion(); }), "Формат не поддерживается");

    const int32_t memberNotFound = static_cast<int32_t>(0x80020003u);
    SetControl("KELMOR_FAKEDRIVER_PROPERTY_FAIL", "80020003");
    printf("note: message for 80020003: %s\n", U8(StatusMessage(memberNotFound)).c_str());
    CHECK_EQ(FailureOf([&] { adapter.Set_kelmor_FormatVersion(47); }), U8(StatusMessage(memberNotFound)));

    // An answer of another type than VT_I4 is refused, not reinterpreted.
    ClearControls();
    SetControl("KELMOR_FAKEDRIVER_PROPERTY_TYPE", "bstr");
    CHECK_EQ(FailureOf([&] { adapter.Get_kelmor_FormatVersion(); }),
             U8(StatusMessage(static_cast<int32_t>(0x80020005u))));
}

void InterfaceNotSupported() {
    SetControl("KELMOR_FAKEDRIVER_HIDE_INTERFACE", "1");
    TJournalMark mark;
    TDriver30 adapter;
    TOutText id;
    // The object is made; the first operation finds the interface missing.
    adapter.Set_kelmor_FormatVersion(30);
    CHECK_EQ(FailureOf([&] { adapter.Open(id); }), "Interface not supported");
    CHECK_EQ(FailureOf([&] { adapter.Close(u"1"); }), "Interface not supported");
    CHECK_EQ(adapter.GetInterfaceRevision(), 4001);
    CHECK_EQ(mark.Count("Create driver"), 1);
    CHECK_EQ(mark.Count("QueryInterface ITarvik1C30 refused"), 1);
}

void NoDriverRegistered() {
    CHECK_EQ(CallDouble("DllUnregisterServer"), S_OK);
    TLogCapture log;
    TJournalMark mark;
    TDriver30 adapter;
    TOutText id(u"keep");
    CHECK_EQ(FailureOf([&] { adapter.Open(id); }), NotInstalled);
    CHECK_EQ(FailureOf([&] { adapter.Open(id); }), NotInstalled);
    CHECK_EQ(FailureOf([&] { adapter.Set_kelmor_FormatVersion(47); }), NotInstalled);
    CHECK_EQ(id.Text(), u"keep");
    CHECK_EQ(adapter.GetInterfaceRevision(), 4001);
    bool result = true;
    CHECK_EQ(adapter.ConnectEquipment(id, u"ККТ", u"", result), static_cast<int32_t>(0x8000FFFFu));
    CHECK_EQ(id.Text(), u"keep");
    TOutText doc;
    CHECK(adapter.GetDescription(doc));
    CHECK_EQ(Attribute(U8(doc), "MainDriverInstalled"), "false");
    CHECK_EQ(Attribute(U8(doc), "DriverVersion"), "1.0");
    CHECK_EQ(static_cast<long long>(mark.Since().size()), 0);

    // The log keeps the cause of each of the six failed creations: the
    // system's text for "class not registered" (Wine has none: "OLE error"
    // and the code stand for it) and its code.
    const std::string notRegistered = U8(StatusMessage(static_cast<int32_t>(0x80040154u)));
    printf("note: message for 80040154: %s\n", notRegistered.c_str());
    const std::string cause = CreationCauseLine(notRegistered + " (0x80040154)");
    const std::vector<std::string> expected = {
        "[DEBUG] TDriver30 Open", cause, "[DEBUG] TDriver30 Open", cause, cause, cause,
        "[DEBUG] TDriver30 ConnectEquipment.", "[DEBUG] TDriver30 ConnectionParameters:", "[DEBUG] TDriver30 ", cause,
        cause,
    };
    std::vector<std::string> lines = log.Lines();
    CHECK_EQ(static_cast<long long>(lines.size()), static_cast<long long>(expected.size()));
    for (size_t i = 0; i < lines.size() && i < expected.size(); ++i) CHECK_EQ(lines[i], expected[i]);

    // Installed later: the same adapter makes the driver at its next call.
    CHECK_EQ(CallDouble("DllRegisterServer"), S_OK);
    CHECK(adapter.Open(id));
    CHECK_EQ(id.Text(), u"Open.0 ответ");
    CHECK_EQ(mark.Count("Create driver"), 1);
    CHECK_EQ(log.Lines().back(), "[DEBUG] TDriver30 Open");

    // A driver that refuses creation counts as not installed too; the log
    // has its own code, after the system's text or the driver's reason.
    SetControl("KELMOR_FAKEDRIVER_REFUSE_CREATE", "driver");
    TDriver30 refused;
    CHECK_EQ(FailureOf([&] { refused.Close(u"1"); }), NotInstalled);
    CHECK_EQ(log.Lines().back(),
             CreationCauseLine(U8(platform::SystemErrorMessage(static_cast<int32_t>(0x80004005u))) + " (0x80004005)"));
    SetControl("KELMOR_FAKEDRIVER_REFUSE_TEXT", "Лицензия драйвера не найдена. ");
    CHECK_EQ(FailureOf([&] { refused.Close(u"1"); }), NotInstalled);
    CHECK_EQ(log.Lines().back(), CreationCauseLine("Лицензия драйвера не найдена (0x80004005)"));
    CHECK_EQ(mark.Count("Create driver refused"), 2);
}

void LifecycleOfTheDriverObject() {
    TJournalMark mark;
    {
        TDriver30 adapter;
        CHECK_EQ(static_cast<long long>(mark.Since().size()), 0);  // nothing before the first use
        TOutText out;
        adapter.Set_kelmor_FormatVersion(30);
        adapter.ProcessCheck(u"1", true, u"<c/>", out);
        adapter.Close(u"1");
        adapter.GetInterfaceRevision();
        CHECK_EQ(mark.Count("Create driver"), 1);
        CHECK_EQ(mark.Count("InitNew driver"), 1);
        CHECK_EQ(mark.Count("Close driver"), 0);
    }
    std::vector<std::string> lines = mark.Since();
    const std::vector<std::string> expected = {
        "Create driver",
        "SetClientSite driver site (container refused)",
        "InitNew driver",
        "PropertyPut driver 217\tlcid=0\targs=1\tnamed=1\tname=-3\tv3:30",
        "ProcessCheck\t\"1\"\tvb:-1\t\"<c/>\"\tout:null\tfv=30",
        "Close\t\"1\"\tfv=30",
        "GetInterfaceRevision\tfv=30",
        "Close driver 1",  // OLECLOSE_NOSAVE
        "SetClientSite driver null",
        "Release final driver",
    };
    CHECK_EQ(static_cast<long long>(lines.size()), static_cast<long long>(expected.size()));
    for (size_t i = 0; i < lines.size() && i < expected.size(); ++i) CHECK_EQ(lines[i], expected[i]);
}

void DescriptionWithTheDriver() {
    SetControl("KELMOR_FAKEDRIVER_VERSION", "5.1.0.99 Бета");
    TDriver30 adapter;
    adapter.Set_kelmor_FormatVersion(30);
    TJournalMark mark;
    TOutText doc;
    CHECK(adapter.GetDescription(doc));
    const std::string text = U8(doc);
    CHECK_EQ(Attribute(text, "MainDriverInstalled"), "true");
    CHECK_EQ(Attribute(text, "DriverVersion"), "5.1.0.99 Бета");
    CHECK_EQ(Attribute(text, "IntegrationComponentVersion"), U8(GetModuleVersionText()));
    // This program carries no version resource of its own: four zeros.
    CHECK_EQ(GetModuleVersionText(), u"0.0.0.0");
    CHECK(text.size() > 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
    const std::vector<std::string> expected = {
        "PropertyPut driver 217\tlcid=0\targs=1\tnamed=1\tname=-3\tv3:47",
        "Create main",
        "SetClientSite main site (container refused)",
        "InitNew main",
        "PropertyGet main 1932\tlcid=0\targs=0\tnamed=0",
        "Close main 1",
        "SetClientSite main null",
        "Release final main",
    };
    std::vector<std::string> lines = mark.Since();
    CHECK_EQ(static_cast<long long>(lines.size()), static_cast<long long>(expected.size()));
    for (size_t i = 0; i < lines.size() && i < expected.size(); ++i) CHECK_EQ(lines[i], expected[i]);

    // Format 47 stays in force for what follows.
    TOutText out;
    adapter.ProcessCorrectionCheck(u"1", false, u"<c/>", out);
    CHECK_EQ(mark.Last(), "ProcessCorrectionCheck\t\"1\"\tvb:0\t\"<c/>\"\tout:null\tfv=47");

    // The main control's failures reach the caller.
    SetControl("KELMOR_FAKEDRIVER_VERSION_FAIL", "1");
    CHECK_EQ(FailureOf([&] { adapter.GetDescription(doc); }), "Версия недоступна");
    ClearControls();
    SetControl("KELMOR_FAKEDRIVER_REFUSE_CREATE", "main");
    CHECK_EQ(FailureOf([&] { adapter.GetDescription(doc); }), U8(StatusMessage(static_cast<int32_t>(0x80004005u))));
    // No property slot is ever called: the property goes through IDispatch.
    int slotCalls = 0;
    for (const std::string& l : JournalLines()) slotCalls += l.compare(0, 5, "slot ") == 0;
    CHECK_EQ(slotCalls, 0);
}

// Bytes in use in all heaps of the process.
size_t HeapBytesInUse() {
    HANDLE heaps[256];
    DWORD count = ::GetProcessHeaps(256, heaps);
    size_t total = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        if (!::HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = nullptr;
        while (::HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        ::HeapUnlock(heaps[i]);
    }
    return total;
}

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters);
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// Counts the live blocks of the task allocator (CoTaskMemAlloc), through
// which OLE Automation allocates every BSTR: a block counts from its
// allocation under the spy to its free. Registered for the soak only.
class TLiveBlockSpy final : public IMallocSpy {
public:
    LONG Live() const { return FLive; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IMallocSpy)) return E_NOINTERFACE;
        *object = static_cast<IMallocSpy*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = ::InterlockedDecrement(&FRefs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T request) override { return request; }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override {
        if (actual) ::InterlockedIncrement(&FLive);
        return actual;
    }
    void* STDMETHODCALLTYPE PreFree(void* request, WINBOOL spyed) override {
        if (request && spyed) ::InterlockedDecrement(&FLive);
        return request;
    }
    void STDMETHODCALLTYPE PostFree(WINBOOL) override {}
    // A reallocation from nothing allocates, one to nothing frees; a moved
    // block stays one block.
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest, WINBOOL spyed) override {
        FReallocFrom = request;
        FReallocSize = size;
        FReallocSpyed = spyed;
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, WINBOOL) override {
        if (!FReallocFrom) {
            if (actual) ::InterlockedIncrement(&FLive);
        } else if (FReallocSize == 0) {
            if (FReallocSpyed) ::InterlockedDecrement(&FLive);
        } else if (!FReallocSpyed && actual) {
            ::InterlockedIncrement(&FLive);
        }
        return actual;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* request, WINBOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T actual, WINBOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, WINBOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, WINBOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    ~TLiveBlockSpy() = default;
    LONG FRefs = 1;
    LONG FLive = 0;
    void* FReallocFrom = nullptr;
    SIZE_T FReallocSize = 0;
    WINBOOL FReallocSpyed = FALSE;
};

// OLE Automation keeps freed BSTRs in a cache and hands them out again, so a
// freed BSTR never reaches the allocator and a lost one may come from the
// cache: both would hide from the figures. This turns the cache off for the
// rest of the process (oleaut32 exports it; OANOCACHE=1 does the same at
// start-up).
bool TurnOffBstrCache() {
    HMODULE oleaut = ::GetModuleHandleW(L"oleaut32.dll");
    auto setNoCache = reinterpret_cast<void(WINAPI*)()>(
        reinterpret_cast<void*>(oleaut ? ::GetProcAddress(oleaut, "SetOaNoCache") : nullptr));
    if (!setNoCache) return false;
    setNoCache();
    return true;
}

void SoakKeepsMemoryFlat() {
    JournalOff();
    CHECK(TurnOffBstrCache());
    TLiveBlockSpy* spy = new TLiveBlockSpy();
    const HRESULT registered = ::CoRegisterMallocSpy(spy);
    CHECK_EQ(static_cast<long long>(registered), static_cast<long long>(S_OK));

    std::string piece;
    for (int i = 0; i < 20; ++i) piece += "Ответ драйвера №" + std::to_string(i) + "; ";
    const std::u16string piece16 = U16(piece);

    // The figures see BSTRs themselves: one freed is gone at once (no cache
    // keeps it), a thousand kept back show as a thousand.
    {
        const LONG before = spy->Live();
        BSTR one = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(piece16.data()),
                                       static_cast<UINT>(piece16.size()));
        CHECK_EQ(spy->Live() - before, 1);
        ::SysFreeString(one);
        CHECK_EQ(spy->Live() - before, 0);

        const size_t heapBefore = HeapBytesInUse();
        std::vector<BSTR> kept;
        for (int i = 0; i < 1000; ++i)
            kept.push_back(::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(piece16.data()),
                                               static_cast<UINT>(piece16.size())));
        const long long keptBlocks = spy->Live() - before;
        const long long keptBytes = static_cast<long long>(HeapBytesInUse()) - static_cast<long long>(heapBefore);
        for (BSTR b : kept) ::SysFreeString(b);
        printf("soak control: 1000 BSTRs kept back: %lld live blocks, heap %+lld bytes; after freeing %ld\n",
               keptBlocks, keptBytes, static_cast<long>(spy->Live() - before));
        CHECK_EQ(keptBlocks, 1000);
        CHECK(keptBytes >= static_cast<long long>(1000 * piece16.size() * sizeof(char16_t)));
        CHECK_EQ(spy->Live() - before, 0);
    }

    // GetCurrentStatus fails with an error object set, after the double has
    // filled its out-text: the wrapper must free that text and the
    // description. Close fails too (no out-text); ProcessCheck succeeds.
    SetControl("KELMOR_FAKEDRIVER_OUT", piece);
    SetControl("KELMOR_FAKEDRIVER_FAIL", "GetCurrentStatus,Close");
    SetControl("KELMOR_FAKEDRIVER_FAIL_TEXT", "Смена закрыта.");
    const std::u16string refusal = u"Смена закрыта";
    TDriver30 adapter;
    const std::u16string input = U16("<InputParameters><Parameters CashierName=\"Иванов И.И.\" CashierINN=\"500100732259\"/></InputParameters>");
    int statusFailures = 0, closeFailures = 0, wrong = 0;
    auto round = [&](int i) {
        TOutText out(u"прежнее");
        switch (i % 5) {
            case 0:
                try {
                    adapter.GetCurrentStatus(u"1", input, out);
                } catch (const EFailure& e) {
                    ++statusFailures;
                    if (e.Message() != refusal || !out.empty()) ++wrong;
                }
                break;
            case 1: adapter.SetParameter(u"Параметр", TAutoValue::FromText(input)); break;
            case 2:
                adapter.ProcessCheck(u"1", (i & 1) != 0, input, out);
                if (out.View() != piece16) ++wrong;
                break;
            case 3: adapter.Set_kelmor_FormatVersion(30); break;
            case 4:
                try {
                    adapter.Close(u"1");
                } catch (const EFailure& e) {
                    ++closeFailures;
                    if (e.Message() != refusal) ++wrong;
                }
                break;
        }
    };
    const int warmup = 5000, calls = 100000;
    for (int i = 0; i < warmup; ++i) round(i);
    const size_t heapBefore = HeapBytesInUse(), privateBefore = PrivateBytes();
    const LONG liveBefore = spy->Live();
    for (int i = 0; i < calls; ++i) round(i);
    const LONG liveAfter = spy->Live();
    const size_t heapAfter = HeapBytesInUse(), privateAfter = PrivateBytes();
    const long long heapGrowth = static_cast<long long>(heapAfter) - static_cast<long long>(heapBefore);
    const long long privateGrowth = static_cast<long long>(privateAfter) - static_cast<long long>(privateBefore);
    printf("soak: %d calls (%d GetCurrentStatus and %d Close failed as asked); live task-allocator blocks (BSTRs) "
           "%ld -> %ld; heap bytes in use %zu -> %zu (%+lld); private bytes %zu -> %zu (%+lld)\n",
           calls, statusFailures, closeFailures, static_cast<long>(liveBefore), static_cast<long>(liveAfter),
           heapBefore, heapAfter, heapGrowth, privateBefore, privateAfter, privateGrowth);
    CHECK_EQ(statusFailures, (warmup + calls) / 5);
    CHECK_EQ(closeFailures, (warmup + calls) / 5);
    CHECK_EQ(wrong, 0);
    // Every BSTR of the soak is freed: not one more is live at its end.
    CHECK_EQ(static_cast<long long>(liveAfter - liveBefore), 0);
    // One lost out-text per call would be well over 50 MB.
    CHECK(heapGrowth < 1024 * 1024);
    CHECK(privateGrowth < 8 * 1024 * 1024);

    // The spy goes when the last block it saw is freed.
    ::CoRevokeMallocSpy();
    spy->Release();
    JournalOn();
}

}  // namespace

int main() {
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The host's part: COM on this thread.
    HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        printf("FAIL: CoInitializeEx %08lx\nSUMMARY: 0 passed, 1 failed\n", static_cast<unsigned long>(hr));
        return 1;
    }

    wchar_t folder[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, folder, MAX_PATH);
    std::wstring dll(folder, n);
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"fakedriver.dll";
    GDouble = ::LoadLibraryW(dll.c_str());
    if (!GDouble || FAILED(CallDouble("DllRegisterServer"))) {
        printf("FAIL: fakedriver.dll could not be loaded and registered\nSUMMARY: 0 passed, 1 failed\n");
        return 1;
    }
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    GJournalPath = std::wstring(temp) + L"kelmor-fakedriver-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    ::DeleteFileW(GJournalPath.c_str());
    JournalOn();

    const std::pair<const char*, void (*)()> tests[] = {
        {"forwarding hands the driver its arguments and returns its outs", ForwardingPassesArgumentsAndReturnsOuts},
        {"wrapper calls and the kinds of a parameter value", DirectWrapperCallsAndVariantKinds},
        {"texts of a megabyte both ways", MegabyteTextsBothWays},
        {"in-texts that grow and shrink from call to call", InTextsOfChangingLengths},
        {"short in-texts kept from call to call, not while a call has them", KeptInTexts},
        {"long in-texts refill the BSTR kept for their place", LongInTextsRefillTheirBstr},
        {"VARIANT_BOOL answers", VariantBoolAnswers},
        {"failure texts of the operations", FailureTexts},
        {"failure texts of the property", PropertyFailures},
        {"interface not supported", InterfaceNotSupported},
        {"no driver registered, then registered", NoDriverRegistered},
        {"driver object made once, closed without saving and released", LifecycleOfTheDriverObject},
        {"description with the driver and its main control", DescriptionWithTheDriver},
        {"soak of 100000 calls keeps memory flat", SoakKeepsMemoryFlat},
    };
    for (const auto& t : tests) {
        ClearControls();
        RunTest(t.first, t.second);
    }
    ClearControls();

    // Leave the prefix as it was: no driver installed.
    CallDouble("DllUnregisterServer");
    ::CoFreeUnusedLibraries();
    ::DeleteFileW(GJournalPath.c_str());
    ::CoUninitialize();
    printf("SUMMARY: %d passed, %d failed\n", GPassed, GFailed);
    return GFailed == 0 ? 0 : 1;
}
