// Helpers of the component tests: a fixture that creates component objects
// through the real entry points and slot tables with the fake host and the
// recording stand-in for the fiscal driver (installed through the driver
// factory), and readers for the trace file and the description document.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "component/extention30.h"
#include "component/methodtable.h"
#include "driver/fiscaldriver.h"
#include "hostapi/classreg.h"
#include "hostapi/componentbase.h"
#include "hostapi/exports.h"
#include "logging/logfile.h"
#include "platform/failure.h"
#include "platform/text.h"
#include "tests/native/logging/logtest_support.h"
#include "tests/support/fakehost.h"
#include "tests/support/hostabi.h"
#include "tests/support/recordingdriver.h"

namespace comptest {

inline std::string U8(const std::u16string& s) { return text::ToUtf8(s); }

// The recording stand-in for the driver (tests/support/recordingdriver.h).
using recdriver::TDriverState;

// The adapter of the components under test: it reaches the recording
// stand-in through its factory; with AdapterCreationFails set it cannot be
// made at all.
inline std::unique_ptr<TDriver30> MakeRecordingAdapter() {
    const recdriver::TDriverState* state = recdriver::State();
    if (state != nullptr && state->AdapterCreationFails) RaiseFailure(u"adapter creation refused");
    return std::make_unique<TDriver30>(recdriver::Factory());
}

// The product's class, its objects made with the recording adapter.
inline TV8UserObject* NewRecordingComponent() { return new TExtention30(&MakeRecordingAdapter); }

// Registers the product's class into the library's registry unless it is
// there already (other suites may have emptied the registry).
inline void EnsureClassRegistered() {
    for (const auto& reg : ClassRegList().ClassList) {
        if (reg && reg->NatApiClassName == Extention30ClassName) {
            ASSERT_EQ(&NewRecordingComponent, reg->UserClass) << "registered by someone else";
            return;
        }
    }
    RegisterExtention30(ClassRegList(), &NewRecordingComponent);
}

// Host argument values, built in the fake host's heap.
struct THostArg {
    enum TKind { Text, Bool, Int, Double, Ansi, Empty } Kind = Empty;
    std::u16string TextValue;
    bool BoolValue = false;
    int32_t IntValue = 0;
    double DoubleValue = 0.0;
};
inline THostArg T(const std::u16string& v) { THostArg a; a.Kind = THostArg::Text; a.TextValue = v; return a; }
inline THostArg B(bool v) { THostArg a; a.Kind = THostArg::Bool; a.BoolValue = v; return a; }
inline THostArg I(int32_t v) { THostArg a; a.Kind = THostArg::Int; a.IntValue = v; return a; }
inline THostArg D(double v) { THostArg a; a.Kind = THostArg::Double; a.DoubleValue = v; return a; }
inline THostArg A(const std::string& v) { THostArg a; a.Kind = THostArg::Ansi; a.TextValue = text::FromUtf8(v); return a; }
inline THostArg E() { return THostArg(); }

// What the host passes into an out-argument: a text the handler must neither
// read nor keep.
inline THostArg HostOut() { return T(u"host-value"); }

class TComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        recdriver::SetState(&FState);
        EnsureClassRegistered();
        FLogPath = FFolder.File("trace.log");
        GetLogFile().SetFileName(text::FromUtf8(FLogPath));
        GetLogFile().SetEnabled(true);
    }

    void TearDown() override {
        for (TV8ComponentBase* record : FRecords) {
            void* p = record;
            DestroyObject(&p);
        }
        FRecords.clear();
        GetLogFile().SetEnabled(false);
        GetLogFile().SetFileName(u"");
        recdriver::SetState(nullptr);
    }

    // A component object as the host gets it: created by name, handed its
    // connection and memory manager.
    TV8ComponentBase* NewObject() {
        void* p = nullptr;
        EXPECT_EQ(1, GetClassObject(Extention30ClassName, &p));
        auto* record = static_cast<TV8ComponentBase*>(p);
        if (!record) return nullptr;
        FRecords.push_back(record);
        const hostabi::TInitDone initDone = hostabi::TComponent(record).InitDone();
        initDone.Init(FHost.Connection());
        initDone.SetMemManager(FMM.Manager());
        return record;
    }

    void Destroy(TV8ComponentBase* record) {
        Forget(record);
        void* p = record;
        DestroyObject(&p);
    }

    // `delete` through the interface at word `view` of the record (0, 1 or 2),
    // as a host compiled with virtual destructors does; answers what slot 0
    // answers.
    void* DeleteThrough(TV8ComponentBase* record, int view) {
        Forget(record);
        return hostabi::CallDestructor(&record->Views[view], 1);
    }

    V8Variant Make(const THostArg& a) {
        switch (a.Kind) {
            case THostArg::Text: return fakehost::WString(FMM, a.TextValue);
            case THostArg::Bool: return fakehost::Bool(a.BoolValue);
            case THostArg::Int: return fakehost::I4(a.IntValue);
            case THostArg::Double: return fakehost::R8(a.DoubleValue);
            case THostArg::Ansi: return fakehost::PString(FMM, U8(a.TextValue));
            case THostArg::Empty: break;
        }
        return fakehost::Empty();
    }

    // One host call through CallAsFunc; the result value starts as the text
    // "host-result" so that an untouched result can be told apart.
    struct TCallResult {
        bool Answer = false;
        V8Variant Ret{};
        std::vector<V8Variant> Params;
    };
    TCallResult Call(TV8ComponentBase* record, int32_t index, const std::vector<THostArg>& args,
                     int32_t count = -1) {
        TCallResult r;
        r.Ret = fakehost::WString(FMM, u"host-result");
        for (const THostArg& a : args) r.Params.push_back(Make(a));
        if (count < 0) count = static_cast<int32_t>(args.size());
        r.Answer = hostabi::TComponent(record).LanguageExtender().CallAsFunc(
            index, &r.Ret, r.Params.empty() ? nullptr : r.Params.data(), count);
        return r;
    }

    // The host releases its values after the call.
    void Release(TCallResult& r) {
        fakehost::Release(FMM, r.Ret);
        for (V8Variant& v : r.Params) fakehost::Release(FMM, v);
    }

    // The log lines so far, without their time and thread header.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : logtest::Lines(logtest::ReadAll(FLogPath)))
            lines.push_back(logtest::AfterHeader(line));
        return lines;
    }
    std::string LogText() const { return logtest::ReadAll(FLogPath); }

    static std::string Debug(const std::string& s) { return "[DEBUG] " + s; }
    static std::string ErrorLine(const std::string& s) { return "[ERROR] " + s; }
    // The adapter's line for a failed creation of the stand-in, with its
    // text and its code (class not registered).
    static std::string CreationCauseLine() {
        return ErrorLine("TDriver30 Не удалось создать объект драйвера: " + U8(recdriver::CreationFailureText()) +
                         " (0x80040154)");
    }

    TDriverState FState;
    fakehost::TFakeMemoryManager FMM;
    fakehost::TFakeConnection FHost;
    logtest::TTempFolder FFolder;
    std::string FLogPath;
    void Forget(TV8ComponentBase* record) {
        for (size_t i = 0; i < FRecords.size(); ++i)
            if (FRecords[i] == record) FRecords.erase(FRecords.begin() + static_cast<std::ptrdiff_t>(i));
    }
    std::vector<TV8ComponentBase*> FRecords;
};

// The root element's attributes of a serialised document, in order, with
// their values unescaped.
inline std::vector<std::pair<std::string, std::string>> RootAttributes(const std::string& xml,
                                                                       std::string* rootName = nullptr) {
    std::vector<std::pair<std::string, std::string>> result;
    size_t pos = 0;
    // Skip the declaration and find the first element.
    for (;;) {
        pos = xml.find('<', pos);
        if (pos == std::string::npos) return result;
        if (xml.compare(pos, 2, "<?") != 0) break;
        pos = xml.find("?>", pos);
        if (pos == std::string::npos) return result;
    }
    ++pos;
    size_t nameEnd = xml.find_first_of(" \t\r\n/>", pos);
    if (rootName) *rootName = xml.substr(pos, nameEnd - pos);
    pos = nameEnd;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (pos < xml.size()) {
        while (pos < xml.size() && isSpace(xml[pos])) ++pos;
        if (pos >= xml.size() || xml[pos] == '/' || xml[pos] == '>') break;
        size_t eq = xml.find('=', pos);
        std::string name = xml.substr(pos, eq - pos);
        char quote = xml[eq + 1];
        size_t close = xml.find(quote, eq + 2);
        std::string raw = xml.substr(eq + 2, close - eq - 2);
        std::string value;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                value += raw[i];
                continue;
            }
            size_t semi = raw.find(';', i);
            std::string entity = raw.substr(i + 1, semi - i - 1);
            if (entity == "amp") value += '&';
            else if (entity == "lt") value += '<';
            else if (entity == "gt") value += '>';
            else if (entity == "quot") value += '"';
            else if (entity == "apos") value += '\'';
            else if (!entity.empty() && entity[0] == '#')
                value += static_cast<char>(entity[1] == 'x' ? std::stoi(entity.substr(2), nullptr, 16)
                                                            : std::stoi(entity.substr(1)));
            i = semi;
        }
        result.emplace_back(name, value);
        pos = close + 1;
    }
    return result;
}

}  // namespace comptest
