// Host values under arbitrary records.
//
// Input: bytes 0..3 the type code `vt` (all 32 bits, little-endian), bytes
// 4..43 the 40 payload bytes, the rest a text buffer (missing bytes are zero).
// For the pointer types (PSTR, PWSTR, BLOB, INTERFACE) the pointer at byte 0
// is replaced by the text buffer, zero-terminated both as bytes and as UTF-16
// code units, or by null when the lowest payload bit is set.
//
// Readers: every reader, under both decimal separators, against the rules of
// the host value table. Writers: a sequence of every writer on one record of
// an object with the fake host's memory manager, starting from a host text
// block, with the record's own payload as input where a writer takes a
// pointer and one allocation refused at a step chosen by the input; every
// block must be back with the host after V8ClearVar, none freed twice.
#include <cmath>
#include <cstring>
#include <vector>

#include "hostapi/hostvalues.h"
#include "hostapi/userobject.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzzcheck.h"
#include "tests/support/decimalseparator.h"
#include "tests/support/fakehost.h"

namespace fh = fakehost;
using fuzzcheck::Printable;

namespace {

constexpr size_t HeaderBytes = 44;

bool SameDouble(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

std::string Describe(const V8Variant& v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "vt=0x%08X", static_cast<unsigned>(v.vt));
    return buf;
}

int32_t ExpectedConvInt(const V8Variant& v, const std::u16string& text) {
    const TVarEnum& u = v.VarEnum;
    switch (v.vt & 0xFFF) {
        case VTYPE_I2: return u.shortVal;
        case VTYPE_I4:
        case VTYPE_ERROR:
        case VTYPE_UI4: return u.lVal;
        case VTYPE_R4: return TruncateToInt32(u.fltVal);
        case VTYPE_R8: return TruncateToInt32(u.dblVal);
        case VTYPE_DATE: return TruncateToInt32(u.date);
        case VTYPE_I1: return u.i8Val;
        case VTYPE_UI1: return u.ui8Val;
        case VTYPE_UI2: return u.ushortVal;
        case VTYPE_PWSTR: {
            int32_t value = 0;
            return text::TryParseInt32(text, value) ? value : 0;
        }
        default: return 0;
    }
}

void CheckTruncation(double x, int32_t got) {
    // Inside the 32-bit range truncation is exact; outside the 64-bit range
    // (and for NaN) the answer is 0.
    if (x > -2147483649.0 && x < 2147483648.0)
        FUZZ_CHECK(got == static_cast<int32_t>(x), "truncation toward zero");
    if (!(x >= -9223372036854775808.0 && x < 9223372036854775808.0))
        FUZZ_CHECK(got == 0, "outside the 64-bit range");
}

void CheckReaders(const V8Variant& v, const char16_t* buffer) {
    const uint32_t t = v.vt & 0xFFF;
    const TVarEnum& u = v.VarEnum;
    const std::string what = Describe(v);

    const char16_t* expectedPointer = t == VTYPE_PWSTR ? u.vtRecWideString.pwstrVal : nullptr;
    FUZZ_CHECK(V8GetPWideChar(&v) == expectedPointer, what);
    const std::u16string expectedText = expectedPointer != nullptr ? std::u16string(buffer) : std::u16string();
    const std::u16string text = V8GetWString(&v);
    FUZZ_CHECK(text == expectedText, what + " text " + Printable(text));

    const int32_t conv = V8ConvInt(&v);
    FUZZ_CHECK(conv == ExpectedConvInt(v, expectedText), what);
    FUZZ_CHECK(V8GetInt(&v) == (t == VTYPE_I4 ? u.lVal : conv), what);
    if (t == VTYPE_R4) CheckTruncation(u.fltVal, conv);
    if (t == VTYPE_R8) CheckTruncation(u.dblVal, conv);
    if (t == VTYPE_DATE) CheckTruncation(u.date, conv);

    const double convD = V8ConvDouble(&v);
    switch (t) {
        case VTYPE_I2: FUZZ_CHECK(convD == u.shortVal, what); break;
        case VTYPE_I4: FUZZ_CHECK(convD == u.lVal, what); break;
        case VTYPE_R4: FUZZ_CHECK(SameDouble(convD, u.fltVal), what); break;
        case VTYPE_DATE: FUZZ_CHECK(SameDouble(convD, u.date), what); break;
        case VTYPE_ERROR: FUZZ_CHECK(convD == u.errCode, what); break;
        case VTYPE_UI1: FUZZ_CHECK(convD == u.ui8Val, what); break;
        case VTYPE_PWSTR: FUZZ_CHECK(std::isfinite(convD), what + " text " + Printable(text)); break;
        default: FUZZ_CHECK(SameDouble(convD, 0.0), what); break;
    }
    const double getD = V8GetDouble(&v);
    FUZZ_CHECK(SameDouble(getD, t == VTYPE_R8 ? u.dblVal : convD), what);

    FUZZ_CHECK(V8GetBool(&v) == (t == VTYPE_BOOL ? u.bVal != 0 : conv != 0), what);

    const TAutoValue a = V8GetVariant(&v);
    switch (t) {
        case VTYPE_I4:
            FUZZ_CHECK(a.Kind == TAutoValue::Int32 && a.IntValue == u.lVal, what);
            break;
        case VTYPE_R8:
            FUZZ_CHECK(a.Kind == TAutoValue::Double && SameDouble(a.DoubleValue, u.dblVal), what);
            break;
        case VTYPE_BOOL:
            FUZZ_CHECK(a.Kind == TAutoValue::Boolean && a.BoolValue == (u.bVal != 0), what);
            break;
        case VTYPE_PWSTR:
            FUZZ_CHECK(a.Kind == TAutoValue::Text && a.TextValue == expectedText, what);
            break;
        default:  // PSTR included: 8-bit text reads as empty text
            FUZZ_CHECK(a.Kind == TAutoValue::Text && a.TextValue.empty(), what);
            break;
    }
}

// --- Writers -------------------------------------------------------------------

struct TWriterRun {
    fh::TFakeMemoryManager mm;
    TV8UserObject object;
    V8Variant v;
    int step = 0;
    int refuseAt = -1;

    // Before each step: the step chosen by the input finds the host refusing
    // its next allocation.
    bool Next() {
        const bool refused = step++ == refuseAt;
        mm.RefuseNext(refused ? 1 : 0);
        return refused;
    }

    void CheckBlocks(bool hasBlock, const char* what) {
        FUZZ_CHECK(mm.BadFrees() == 0, what);
        FUZZ_CHECK(mm.LiveBlocks() == (hasBlock ? 1u : 0u), what);
        if (hasBlock) FUZZ_CHECK(mm.Owns(v.VarEnum.vtRecString.pstrVal), what);
    }

    void CheckText(bool ok, bool refused, const std::u16string& expected, const char* what) {
        FUZZ_CHECK(v.vt == VTYPE_PWSTR, what);
        FUZZ_CHECK(ok == !refused, what);
        if (refused) {
            FUZZ_CHECK(v.VarEnum.vtRecWideString.pwstrVal == nullptr, what);
            FUZZ_CHECK(v.VarEnum.vtRecWideString.wstrLen == 0, what);
            CheckBlocks(false, what);
            return;
        }
        FUZZ_CHECK(v.VarEnum.vtRecWideString.wstrLen == expected.size(), what);
        FUZZ_CHECK(fh::ReadWString(v) == expected, what);
        FUZZ_CHECK(v.VarEnum.vtRecWideString.pwstrVal[expected.size()] == 0, what);
        FUZZ_CHECK(mm.BlockSize(v.VarEnum.vtRecWideString.pwstrVal) == 2 * expected.size() + 2, what);
        CheckBlocks(true, what);
    }

    void CheckBytes(bool ok, bool refused, uint32_t vt, const std::string& expected, const char* what) {
        FUZZ_CHECK(v.vt == vt, what);
        FUZZ_CHECK(ok == !refused, what);
        if (refused) {
            FUZZ_CHECK(v.VarEnum.vtRecString.pstrVal == nullptr, what);
            FUZZ_CHECK(v.VarEnum.vtRecString.strLen == 0, what);
            CheckBlocks(false, what);
            return;
        }
        FUZZ_CHECK(fh::ReadBytes(v) == expected, what);
        CheckBlocks(true, what);
    }

    void CheckScalar(uint32_t vt, const char* what) {
        FUZZ_CHECK(v.vt == vt && v.cbElements == 0, what);
        CheckBlocks(false, what);
    }
};

void RunWriters(const uint8_t* payload, const std::u16string& wide, const std::string& bytes) {
    TWriterRun r;
    r.object.V8MM = r.mm.Manager();
    r.refuseAt = payload[39] % 16;
    // Zero-terminated views of the input: what the pointer writers see.
    const std::u16string wideZ(wide.c_str());
    const std::string bytesZ(bytes.c_str());

    // A host text block in the record first: the first write frees it.
    r.v = fh::WString(r.mm, wide);
    bool refused = r.Next();
    bool ok = r.object.V8SetWString(&r.v, wide);
    r.CheckText(ok, refused, wide, "V8SetWString over a host text");

    // The record's own text as the input of V8SetPWideChar.
    if (r.v.VarEnum.vtRecWideString.pwstrVal == nullptr) ok = r.object.V8SetWString(&r.v, wide);
    refused = r.Next();
    ok = r.object.V8SetPWideChar(&r.v, r.v.VarEnum.vtRecWideString.pwstrVal);
    r.CheckText(ok, refused, wideZ, "V8SetPWideChar of the record's own text");

    // A null pointer leaves the record as it was.
    const V8Variant before = r.v;
    r.Next();
    FUZZ_CHECK(r.object.V8SetPWideChar(&r.v, nullptr), "null text");
    FUZZ_CHECK(r.object.V8SetPChar(&r.v, nullptr), "null text");
    FUZZ_CHECK(r.object.V8SetBlob(&r.v, nullptr, 5), "null blob");
    FUZZ_CHECK(std::memcmp(&before, &r.v, sizeof before) == 0, "a null input leaves the record untouched");

    refused = r.Next();
    ok = r.object.V8SetPChar(&r.v, bytes.c_str());
    r.CheckBytes(ok, refused, VTYPE_PSTR, bytesZ, "V8SetPChar");
    if (ok) {
        FUZZ_CHECK(r.v.VarEnum.vtRecString.pstrVal[bytesZ.size()] == 0, "V8SetPChar terminator");
        refused = r.Next();
        ok = r.object.V8SetPChar(&r.v, r.v.VarEnum.vtRecString.pstrVal);
        r.CheckBytes(ok, refused, VTYPE_PSTR, bytesZ, "V8SetPChar of the record's own text");
    }

    refused = r.Next();
    ok = r.object.V8SetString(&r.v, bytes);
    r.CheckBytes(ok, refused, VTYPE_PSTR, bytesZ, "V8SetString");

    // Blob lengths from the input, kept within the bytes at hand; negative
    // lengths are refused without a block.
    int32_t length;
    std::memcpy(&length, payload + 32, sizeof length);
    if (length > static_cast<int32_t>(bytes.size())) length = static_cast<int32_t>(bytes.size());
    refused = r.Next();
    ok = r.object.V8SetBlob(&r.v, bytes.data(), length);
    if (length < 0) {
        FUZZ_CHECK(!ok && r.v.vt == VTYPE_BLOB && r.v.VarEnum.vtRecString.pstrVal == nullptr, "negative blob");
        r.CheckBlocks(false, "negative blob");
    } else {
        r.CheckBytes(ok, refused, VTYPE_BLOB, bytes.substr(0, length), "V8SetBlob");
        if (ok) {
            FUZZ_CHECK(r.mm.BlockSize(r.v.VarEnum.vtRecString.pstrVal) == static_cast<size_t>(length), "blob size");
            const std::string own = fh::ReadBytes(r.v);
            refused = r.Next();
            ok = r.object.V8SetBlob(&r.v, r.v.VarEnum.vtRecString.pstrVal, length);
            r.CheckBytes(ok, refused, VTYPE_BLOB, own, "V8SetBlob of the record's own bytes");
        }
    }

    int32_t i32;
    int64_t i64;
    double d;
    std::memcpy(&i32, payload + 4, sizeof i32);
    std::memcpy(&i64, payload + 8, sizeof i64);
    std::memcpy(&d, payload + 16, sizeof d);
    const uint32_t u32 = static_cast<uint32_t>(i32);
    const uint64_t u64 = static_cast<uint64_t>(i64);

    r.Next();
    r.object.V8SetInt(&r.v, i32);
    r.CheckScalar(VTYPE_I4, "V8SetInt");
    FUZZ_CHECK(r.v.VarEnum.lVal == i32 && V8GetInt(&r.v) == i32, "V8SetInt value");
    r.object.V8SetInt64(&r.v, i64);
    r.CheckScalar(VTYPE_R8, "V8SetInt64");
    FUZZ_CHECK(r.v.VarEnum.dblVal == static_cast<double>(i64), "V8SetInt64 value");
    r.object.V8SetUInt(&r.v, u32);
    if (u32 <= 2147483647u) {
        r.CheckScalar(VTYPE_UI4, "V8SetUInt");
        FUZZ_CHECK(r.v.VarEnum.ulVal == u32 && V8GetInt(&r.v) == i32, "V8SetUInt value");
    } else {
        r.CheckScalar(VTYPE_R8, "V8SetUInt above int32");
        FUZZ_CHECK(r.v.VarEnum.dblVal == static_cast<double>(u32), "V8SetUInt value");
    }
    r.object.V8SetUInt64(&r.v, u64);
    r.CheckScalar(VTYPE_R8, "V8SetUInt64");
    FUZZ_CHECK(r.v.VarEnum.dblVal == static_cast<double>(u64), "V8SetUInt64 value");
    r.object.V8SetDouble(&r.v, d);
    r.CheckScalar(VTYPE_R8, "V8SetDouble");
    FUZZ_CHECK(SameDouble(V8GetDouble(&r.v), d), "V8SetDouble value");
    r.object.V8SetDate(&r.v, d);
    r.CheckScalar(VTYPE_DATE, "V8SetDate");
    FUZZ_CHECK(SameDouble(r.v.VarEnum.date, d), "V8SetDate value");
    r.object.V8SetBool(&r.v, (payload[3] & 1) != 0);
    r.CheckScalar(VTYPE_BOOL, "V8SetBool");
    FUZZ_CHECK(V8GetBool(&r.v) == ((payload[3] & 1) != 0) && r.v.VarEnum.bVal <= 1, "V8SetBool value");
    FUZZ_CHECK(r.object.V8SetNULL(&r.v), "V8SetNULL");
    r.CheckScalar(VTYPE_NULL, "V8SetNULL");

    // Text again, then everything goes back to the host.
    refused = r.Next();
    ok = r.object.V8SetWString(&r.v, wide);
    r.CheckText(ok, refused, wide, "V8SetWString after scalars");
    r.object.V8ClearVar(&r.v);
    FUZZ_CHECK(fh::IsAllZero(r.v), "V8ClearVar zeroes the record");
    FUZZ_CHECK(r.mm.LiveBlocks() == 0, "every block is back with the host");
    FUZZ_CHECK(r.mm.BadFrees() == 0, "no foreign or double frees");
    FUZZ_CHECK(r.object.V8SetEmpty(&r.v) && fh::IsAllZero(r.v), "V8SetEmpty");

    // Writers before the host handed a memory manager: false, no block.
    TV8UserObject bare;
    V8Variant w{};
    FUZZ_CHECK(!bare.V8SetWString(&w, wide) && w.vt == VTYPE_PWSTR && w.VarEnum.vtRecWideString.pwstrVal == nullptr,
               "V8SetWString without a memory manager");
    FUZZ_CHECK(!bare.V8SetPChar(&w, bytes.c_str()) && w.vt == VTYPE_PSTR && w.VarEnum.vtRecString.pstrVal == nullptr,
               "V8SetPChar without a memory manager");
    bare.V8ClearVar(&w);
    FUZZ_CHECK(fh::IsAllZero(w), "V8ClearVar without a memory manager");

    // V8CopyWString: the text and its terminator in a host block.
    fh::TFakeMemoryManager mm;
    char16_t* p = reinterpret_cast<char16_t*>(1);
    FUZZ_CHECK(V8CopyWString(mm.Manager(), wide, &p) && p != nullptr, "V8CopyWString");
    FUZZ_CHECK(std::u16string(p, wide.size()) == wide && p[wide.size()] == 0, "V8CopyWString text");
    FUZZ_CHECK(mm.BlockSize(p) == 2 * wide.size() + 2, "V8CopyWString size");
    void* block = p;
    V8Free(mm.Manager(), &block);
    FUZZ_CHECK(mm.LiveBlocks() == 0 && mm.BadFrees() == 0, "V8CopyWString block");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t header[HeaderBytes] = {};
    std::memcpy(header, data, size < HeaderBytes ? size : HeaderBytes);
    const uint8_t* rest = data + (size < HeaderBytes ? size : HeaderBytes);
    const size_t restSize = size < HeaderBytes ? 0 : size - HeaderBytes;

    // The text buffer, zero-terminated both as bytes and as code units, sized
    // exactly so that reading past the terminator is caught.
    std::vector<char16_t> buffer((restSize + 1) / 2 + 1, 0);
    if (restSize != 0) std::memcpy(buffer.data(), rest, restSize);

    V8Variant v;
    std::memset(&v, 0, sizeof v);
    std::memcpy(&v.vt, header, 4);
    std::memcpy(&v.VarEnum, header + 4, 40);
    const uint32_t t = v.vt & 0xFFF;
    if (t == VTYPE_PSTR || t == VTYPE_PWSTR || t == VTYPE_BLOB || t == VTYPE_INTERFACE) {
        void* pointer = (header[4] & 1) != 0 ? nullptr : buffer.data();
        std::memcpy(&v.VarEnum, &pointer, sizeof pointer);
    }

    for (char16_t separator : {u'.', u','}) {
        platform::SetUserDecimalSeparatorForTests(separator);
        CheckReaders(v, buffer.data());
    }
    platform::SetUserDecimalSeparatorForTests(0);

    const std::u16string wide = fuzzcheck::Pairs(rest, restSize);
    const std::string bytes(reinterpret_cast<const char*>(rest), restSize);
    RunWriters(header + 4, wide, bytes);
    return 0;
}
