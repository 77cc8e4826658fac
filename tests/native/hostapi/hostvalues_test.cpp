// Readers and writers of host values, against the fake host's memory manager.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "hostapi/hostvalues.h"
#include "hostapi/textscan.h"
#include "hostapi/userobject.h"
#include "platform/platform.h"
#include "tests/support/decimalseparator.h"
#include "tests/support/fakehost.h"

namespace fh = fakehost;

namespace {

// Restores the system's decimal separator when a test leaves.
struct TSeparatorGuard {
    explicit TSeparatorGuard(char16_t separator) { platform::SetUserDecimalSeparatorForTests(separator); }
    ~TSeparatorGuard() { platform::SetUserDecimalSeparatorForTests(0); }
};

// --- Readers ------------------------------------------------------------------

struct TReadCase {
    const char* name;
    std::function<V8Variant(fh::TFakeMemoryManager&)> make;
    char16_t separator;
    int32_t asInt;        // V8GetInt (and V8ConvInt)
    double asDouble;      // V8GetDouble
    bool asBool;          // V8GetBool
    std::u16string asText;  // V8GetWString
};

V8Variant WithHighBits(V8Variant v) {
    v.vt |= 0xA000;  // bits above the low 12 carry no type
    return v;
}

const std::vector<TReadCase>& ReadCases() {
    static const std::vector<TReadCase> cases = {
        {"empty", [](auto&) { return fh::Empty(); }, u'.', 0, 0.0, false, u""},
        {"null", [](auto&) { return fh::Null(); }, u'.', 0, 0.0, false, u""},
        {"I1 -5", [](auto&) { return fh::I1(-5); }, u'.', -5, 0.0, true, u""},
        {"I2 -300", [](auto&) { return fh::I2(-300); }, u'.', -300, -300.0, true, u""},
        {"I4 42", [](auto&) { return fh::I4(42); }, u'.', 42, 42.0, true, u""},
        {"I4 with high type bits", [](auto&) { return WithHighBits(fh::I4(-9)); }, u'.', -9, -9.0, true, u""},
        {"UI1 200", [](auto&) { return fh::UI1(200); }, u'.', 200, 200.0, true, u""},
        {"UI2 60000", [](auto&) { return fh::UI2(60000); }, u'.', 60000, 0.0, true, u""},
        {"UI4 7", [](auto&) { return fh::UI4(7); }, u'.', 7, 0.0, true, u""},
        {"UI4 above int32", [](auto&) { return fh::UI4(3000000000u); }, u'.', -1294967296, 0.0, true, u""},
        {"R4 -2.5", [](auto&) { return fh::R4(-2.5f); }, u'.', -2, -2.5, true, u""},
        {"R8 -2.7", [](auto&) { return fh::R8(-2.7); }, u'.', -2, -2.7, true, u""},
        {"R8 0.5", [](auto&) { return fh::R8(0.5); }, u'.', 0, 0.5, false, u""},
        {"R8 2.7", [](auto&) { return fh::R8(2.7); }, u'.', 2, 2.7, true, u""},
        {"R8 beyond 32 bits keeps the low word", [](auto&) { return fh::R8(4294967298.0); }, u'.', 2,
         4294967298.0, true, u""},
        {"R8 beyond 64 bits", [](auto&) { return fh::R8(1e19); }, u'.', 0, 1e19, false, u""},
        {"R8 below 64 bits", [](auto&) { return fh::R8(-1e19); }, u'.', 0, -1e19, false, u""},
        {"R8 infinity", [](auto&) { return fh::R8(std::numeric_limits<double>::infinity()); }, u'.', 0,
         std::numeric_limits<double>::infinity(), false, u""},
        {"date", [](auto&) { return fh::Date(45000.75); }, u'.', 45000, 45000.75, true, u""},
        {"error code", [](auto&) { return fh::Error(-5); }, u'.', -5, -5.0, true, u""},
        {"bool true", [](auto&) { return fh::Bool(true); }, u'.', 0, 0.0, true, u""},
        {"bool false", [](auto&) { return fh::Bool(false); }, u'.', 0, 0.0, false, u""},
        {"bool byte 2", [](auto&) { auto v = fh::Bool(true); v.VarEnum.bVal = 2; return v; }, u'.', 0, 0.0, true, u""},
        {"text 42", [](auto& mm) { return fh::WString(mm, u"42"); }, u'.', 42, 42.0, true, u"42"},
        {"text -2147483648", [](auto& mm) { return fh::WString(mm, u"-2147483648"); }, u'.',
         std::numeric_limits<int32_t>::min(), -2147483648.0, true, u"-2147483648"},
        {"text 2147483648 overflows", [](auto& mm) { return fh::WString(mm, u"2147483648"); }, u'.', 0,
         2147483648.0, false, u"2147483648"},
        {"text abc", [](auto& mm) { return fh::WString(mm, u"abc"); }, u'.', 0, 0.0, false, u"abc"},
        {"text empty", [](auto& mm) { return fh::WString(mm, u""); }, u'.', 0, 0.0, false, u""},
        {"text 1", [](auto& mm) { return fh::WString(mm, u"1"); }, u'.', 1, 1.0, true, u"1"},
        {"text 0", [](auto& mm) { return fh::WString(mm, u"0"); }, u'.', 0, 0.0, false, u"0"},
        {"text true", [](auto& mm) { return fh::WString(mm, u"true"); }, u'.', 0, 0.0, false, u"true"},
        {"text with blank", [](auto& mm) { return fh::WString(mm, u" 5"); }, u'.', 0, 0.0, false, u" 5"},
        {"text 1.5 with point", [](auto& mm) { return fh::WString(mm, u"1.5"); }, u'.', 0, 1.5, false, u"1.5"},
        {"text 1,5 with comma", [](auto& mm) { return fh::WString(mm, u"1,5"); }, u',', 0, 1.5, false, u"1,5"},
        {"text 1.5 with comma", [](auto& mm) { return fh::WString(mm, u"1.5"); }, u',', 0, 0.0, false, u"1.5"},
        {"text -0,25E2 with comma", [](auto& mm) { return fh::WString(mm, u"-0,25E2"); }, u',', 0, -25.0,
         false, u"-0,25E2"},
        {"text 1e999 out of range", [](auto& mm) { return fh::WString(mm, u"1e999"); }, u'.', 0, 0.0, false,
         u"1e999"},
        {"text read to the first zero, not wstrLen",
         [](auto& mm) {
             auto v = fh::WString(mm, u"12");
             v.VarEnum.vtRecWideString.wstrLen = 0;
             return v;
         },
         u'.', 12, 12.0, true, u"12"},
        {"text with null pointer", [](auto&) { return fh::OfType(VTYPE_PWSTR); }, u'.', 0, 0.0, false, u""},
        {"text with high type bits", [](auto& mm) { return WithHighBits(fh::WString(mm, u"7")); }, u'.', 7,
         7.0, true, u"7"},
        {"8-bit text", [](auto& mm) { return fh::PString(mm, "42"); }, u'.', 0, 0.0, false, u""},
        {"blob", [](auto& mm) { auto v = fh::PString(mm, "42"); v.vt = VTYPE_BLOB; return v; }, u'.', 0, 0.0,
         false, u""},
        {"unknown code", [](auto&) { auto v = fh::I4(5); v.vt = 0x0FFF; return v; }, u'.', 0, 0.0, false, u""},
    };
    return cases;
}

TEST(HostValueReaders, EachTypeCodeReadsAsIntDoubleBoolAndText) {
    for (const TReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.name);
        fh::TFakeMemoryManager mm;
        TSeparatorGuard separator(c.separator);
        V8Variant v = c.make(mm);
        EXPECT_EQ(V8GetInt(&v), c.asInt);
        if ((v.vt & 0xFFF) != VTYPE_I4) {
            EXPECT_EQ(V8ConvInt(&v), c.asInt);
        }
        if (std::isinf(c.asDouble))
            EXPECT_EQ(V8GetDouble(&v), c.asDouble);
        else
            EXPECT_DOUBLE_EQ(V8GetDouble(&v), c.asDouble);
        EXPECT_EQ(V8GetBool(&v), c.asBool);
        EXPECT_EQ(V8GetWString(&v), c.asText);
        EXPECT_EQ(V8GetPWideChar(&v) != nullptr, (v.vt & 0xFFF) == VTYPE_PWSTR && v.VarEnum.vtRecWideString.pwstrVal != nullptr);
        // Reading leaves the host's value alone.
        fh::Release(mm, v);
        EXPECT_EQ(mm.LiveBlocks(), 0u);
        EXPECT_EQ(mm.BadFrees(), 0u);
    }
}

TEST(HostValueReaders, TextIsReadUpToItsFirstZeroUnitWhereverItStartsAndEnds) {
    // Every scan this processor runs, and the reader itself. Units with a
    // zero byte do not end the text; zeros before it do not count.
    std::vector<std::pair<const char*, size_t (*)(const char16_t*)>> scans = {
        {"plain", &textscan::PlainLength}, {"chosen", &textscan::Length}};
    if (textscan::HasSse2()) scans.push_back({"sse2", &textscan::Sse2Length});
    if (textscan::HasAvx2()) scans.push_back({"avx2", &textscan::Avx2Length});
    const char16_t filler[] = {u'Ж', 0x0100, 0x0001, u'a', 0xFF00, 0x00FF};
    alignas(64) char16_t buffer[512];
    for (size_t start = 0; start < 70; ++start) {
        for (size_t length = 0; length < 300; length += (length < 140 ? 1 : 7)) {
            for (char16_t& c : buffer) c = 0;
            for (size_t i = 0; i < length; ++i) buffer[start + i] = filler[(start + i) % 6];
            for (const auto& scan : scans)
                ASSERT_EQ(scan.second(buffer + start), length) << scan.first << ", start " << start;
            V8Variant v = fh::Empty();
            v.vt = VTYPE_PWSTR;
            v.VarEnum.vtRecWideString.pwstrVal = buffer + start;
            v.VarEnum.vtRecWideString.wstrLen = 1000;  // never consulted
            const std::u16string_view text = V8GetWStringView(&v);
            ASSERT_EQ(text.data(), buffer + start);
            ASSERT_EQ(text.size(), length) << "start " << start;
            ASSERT_EQ(V8GetWString(&v), std::u16string(buffer + start, length));
        }
    }
}

// A text whose zero unit is the last unit of its page, with no page after
// it: the block scans must read nothing of the next page, whatever the
// text's length and start.
TEST(HostValueReaders, TextEndingAtThePageEndIsReadWithoutTheNextPage) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* mapped = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    char* const base = static_cast<char*>(mapped);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
    std::vector<std::pair<const char*, size_t (*)(const char16_t*)>> scans = {
        {"plain", &textscan::PlainLength}, {"chosen", &textscan::Length}};
    if (textscan::HasSse2()) scans.push_back({"sse2", &textscan::Sse2Length});
    if (textscan::HasAvx2()) scans.push_back({"avx2", &textscan::Avx2Length});
    char16_t* const end = reinterpret_cast<char16_t*>(base + page);  // one past the zero unit
    for (size_t length = 0; length < 400; ++length) {
        char16_t* const text = end - 1 - length;
        for (size_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(u'А' + i % 32);
        end[-1] = 0;
        for (const auto& scan : scans) ASSERT_EQ(scan.second(text), length) << scan.first;
        V8Variant v = fh::Empty();
        v.vt = VTYPE_PWSTR;
        v.VarEnum.vtRecWideString.pwstrVal = text;
        v.VarEnum.vtRecWideString.wstrLen = static_cast<uint32_t>(length + 100);  // the host's word is not read
        ASSERT_EQ(V8GetWStringView(&v).size(), length);
    }
    munmap(mapped, 2 * page);
}

// The copy of a host text into a buffer of ours: every unit of the count,
// from any start into any start, nothing past it.
TEST(HostValueReaders, TextCopyTakesExactlyItsUnitsWhereverTheyStart) {
    std::vector<char16_t> from(6000), to(6100);
    for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<char16_t>(i % 7 == 0 ? 0 : u'Ж' + i % 40);
    for (size_t count : {size_t{0}, size_t{1}, size_t{2}, size_t{15}, size_t{16}, size_t{17}, size_t{63},
                         size_t{64}, size_t{65}, size_t{4096}, size_t{5000}}) {
        for (size_t source = 0; source < 40; source += 3) {
            for (size_t target = 0; target < 40; target += 5) {
                std::fill(to.begin(), to.end(), u'#');
                textscan::CopyUnits(to.data() + target, from.data() + source, count);
                ASSERT_TRUE(std::equal(to.begin() + target, to.begin() + target + count, from.begin() + source))
                    << count << " units from " << source << " to " << target;
                ASSERT_TRUE(std::all_of(to.begin(), to.begin() + target, [](char16_t c) { return c == u'#'; }));
                ASSERT_TRUE(std::all_of(to.begin() + target + count, to.end(), [](char16_t c) { return c == u'#'; }))
                    << count << " units from " << source << " to " << target;
            }
        }
    }
}

TEST(HostValueReaders, ConvIntTruncatesNaNToZero) {
    V8Variant v = fh::R8(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(V8ConvInt(&v), 0);
    EXPECT_FALSE(V8GetBool(&v));
    EXPECT_EQ(TruncateToInt32(-9223372036854775808.0), 0);  // low word of INT64_MIN
    EXPECT_EQ(TruncateToInt32(9223372036854775808.0), 0);   // just outside
    EXPECT_EQ(TruncateToInt32(-4294967295.9), 1);           // -4294967295 -> low word 1
}

TEST(HostValueReaders, VariantKindFollowsTheTypeCode) {
    fh::TFakeMemoryManager mm;
    struct TCase {
        const char* name;
        V8Variant value;
        TAutoValue::TKind kind;
        std::u16string text;
    };
    const std::vector<TCase> cases = {
        {"I4", fh::I4(-3), TAutoValue::Int32, u"-3"},
        {"R8", fh::R8(2.5), TAutoValue::Double, u"2.5"},
        {"PWSTR", fh::WString(mm, u"Чек"), TAutoValue::Text, u"Чек"},
        {"PSTR", fh::PString(mm, "abc"), TAutoValue::Text, u""},
        {"BOOL", fh::Bool(true), TAutoValue::Boolean, u"True"},
        {"EMPTY", fh::Empty(), TAutoValue::Text, u""},
        {"I2 is not converted", fh::I2(4), TAutoValue::Text, u""},
        {"DATE is not converted", fh::Date(3.0), TAutoValue::Text, u""},
    };
    TSeparatorGuard separator(u'.');
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TAutoValue a = V8GetVariant(&c.value);
        EXPECT_EQ(a.Kind, c.kind);
        EXPECT_EQ(AutoValueToText(a), c.text);
    }
}

// --- Writers ------------------------------------------------------------------

struct TWriteCase {
    const char* name;
    std::function<bool(TV8UserObject&, V8Variant*)> write;
    uint32_t vt;
    // Checks the payload; the record and the manager are given.
    std::function<void(const V8Variant&, const fh::TFakeMemoryManager&)> check;
    size_t liveBlocks;  // payload blocks after the write
};

std::vector<TWriteCase> WriteCases() {
    auto none = [](const V8Variant&, const fh::TFakeMemoryManager&) {};
    return {
        {"SetEmpty", [](TV8UserObject& o, V8Variant* v) { return o.V8SetEmpty(v); }, VTYPE_EMPTY,
         [](const V8Variant& v, auto&) { EXPECT_TRUE(fh::IsAllZero(v)); }, 0},
        {"SetNULL", [](TV8UserObject& o, V8Variant* v) { return o.V8SetNULL(v); }, VTYPE_NULL, none, 0},
        {"SetInt", [](TV8UserObject& o, V8Variant* v) { o.V8SetInt(v, -7); return true; }, VTYPE_I4,
         [](const V8Variant& v, auto&) { EXPECT_EQ(v.VarEnum.lVal, -7); }, 0},
        {"SetDouble", [](TV8UserObject& o, V8Variant* v) { o.V8SetDouble(v, 1.25); return true; }, VTYPE_R8,
         [](const V8Variant& v, auto&) { EXPECT_EQ(v.VarEnum.dblVal, 1.25); }, 0},
        {"SetInt64 -1", [](TV8UserObject& o, V8Variant* v) { o.V8SetInt64(v, -1); return true; }, VTYPE_R8,
         [](const V8Variant& v, auto&) { EXPECT_EQ(v.VarEnum.dblVal, -1.0); }, 0},
        {"SetUInt 2147483647", [](TV8UserObject& o, V8Variant* v) { o.V8SetUInt(v, 2147483647u); return true; },
         VTYPE_UI4, [](const V8Variant& v, auto&) { EXPECT_EQ(v.VarEnum.ulVal, 2147483647u); }, 0},
        {"SetUInt 2147483648", [](TV8UserObject& o, V8Variant* v) { o.V8SetUInt(v, 2147483648u); return true; },
         VTYPE_R8, [](const V8Variant& v, auto&) { EXPECT_EQ(v.VarEnum.dblVal, 2147483648.0); }, 0},
        {"SetUInt64 max",
         [](TV8UserObject& o, V8Variant* v) { o.V8SetUInt64(v, std::numeric_limits<uint64_t>::max()); return true; },
         VTYPE_R8, [](const V8Variant& v, auto&) { EXPECT_EQ(v.VarEnum.dblVal, 18446744073709551616.0); }, 0},
        {"SetDate", [](TV8UserObject& o, V8Variant* v) { o.V8SetDate(v, 45000.5); return true; }, VTYPE_DATE,
         [](const V8Variant& v, auto&) { EXPECT_EQ(v.VarEnum.date, 45000.5); }, 0},
        {"SetBool true", [](TV8UserObject& o, V8Variant* v) { o.V8SetBool(v, true); return true; }, VTYPE_BOOL,
         [](const V8Variant& v, auto&) { EXPECT_EQ(v.VarEnum.bVal, 1); }, 0},
        {"SetBool false", [](TV8UserObject& o, V8Variant* v) { o.V8SetBool(v, false); return true; }, VTYPE_BOOL,
         [](const V8Variant& v, auto&) { EXPECT_EQ(v.VarEnum.bVal, 0); }, 0},
        {"SetWString", [](TV8UserObject& o, V8Variant* v) { return o.V8SetWString(v, u"Итог"); }, VTYPE_PWSTR,
         [](const V8Variant& v, const fh::TFakeMemoryManager& mm) {
             EXPECT_EQ(v.VarEnum.vtRecWideString.wstrLen, 4u);
             EXPECT_EQ(mm.BlockSize(v.VarEnum.vtRecWideString.pwstrVal), 10u);
             EXPECT_EQ(fh::ReadWString(v), u"Итог");
             EXPECT_EQ(v.VarEnum.vtRecWideString.pwstrVal[4], 0);
         },
         1},
        {"SetWString empty", [](TV8UserObject& o, V8Variant* v) { return o.V8SetWString(v, u""); }, VTYPE_PWSTR,
         [](const V8Variant& v, const fh::TFakeMemoryManager& mm) {
             EXPECT_EQ(v.VarEnum.vtRecWideString.wstrLen, 0u);
             ASSERT_EQ(mm.BlockSize(v.VarEnum.vtRecWideString.pwstrVal), 2u);
             EXPECT_EQ(v.VarEnum.vtRecWideString.pwstrVal[0], 0);
         },
         1},
        {"SetPWideChar", [](TV8UserObject& o, V8Variant* v) { return o.V8SetPWideChar(v, u"abc"); }, VTYPE_PWSTR,
         [](const V8Variant& v, const fh::TFakeMemoryManager& mm) {
             EXPECT_EQ(fh::ReadWString(v), u"abc");
             EXPECT_EQ(mm.BlockSize(v.VarEnum.vtRecWideString.pwstrVal), 8u);
             EXPECT_EQ(v.VarEnum.vtRecWideString.pwstrVal[3], 0);
         },
         1},
        {"SetPChar", [](TV8UserObject& o, V8Variant* v) { return o.V8SetPChar(v, "abc"); }, VTYPE_PSTR,
         [](const V8Variant& v, const fh::TFakeMemoryManager& mm) {
             EXPECT_EQ(fh::ReadBytes(v), "abc");
             EXPECT_EQ(mm.BlockSize(v.VarEnum.vtRecString.pstrVal), 4u);
             EXPECT_EQ(v.VarEnum.vtRecString.pstrVal[3], 0);
         },
         1},
        {"SetString empty", [](TV8UserObject& o, V8Variant* v) { return o.V8SetString(v, ""); }, VTYPE_PSTR,
         [](const V8Variant& v, const fh::TFakeMemoryManager& mm) {
             EXPECT_EQ(v.VarEnum.vtRecString.strLen, 0u);
             ASSERT_EQ(mm.BlockSize(v.VarEnum.vtRecString.pstrVal), 1u);
             EXPECT_EQ(v.VarEnum.vtRecString.pstrVal[0], 0);
         },
         1},
        {"SetBlob", [](TV8UserObject& o, V8Variant* v) { return o.V8SetBlob(v, "a\0b", 3); }, VTYPE_BLOB,
         [](const V8Variant& v, const fh::TFakeMemoryManager& mm) {
             EXPECT_EQ(fh::ReadBytes(v), std::string("a\0b", 3));
             EXPECT_EQ(mm.BlockSize(v.VarEnum.vtRecString.pstrVal), 3u);
         },
         1},
    };
}

TEST(HostValueWriters, EachWriterFreesTheOldTextAndStoresTypeAndPayload) {
    for (const TWriteCase& c : WriteCases()) {
        SCOPED_TRACE(c.name);
        fh::TFakeMemoryManager mm;
        TV8UserObject object;
        object.V8MM = mm.Manager();
        V8Variant v = fh::WString(mm, u"old host text");
        v.cbElements = 3;
        ASSERT_EQ(mm.LiveBlocks(), 1u);

        EXPECT_TRUE(c.write(object, &v));
        EXPECT_EQ(fh::TypeOf(v), c.vt);
        EXPECT_EQ(v.cbElements, 0u);
        EXPECT_EQ(mm.FreeCalls(), 1u);  // the old text, once
        EXPECT_EQ(mm.BadFrees(), 0u);
        EXPECT_EQ(mm.LiveBlocks(), c.liveBlocks);
        c.check(v, mm);

        object.V8ClearVar(&v);
        EXPECT_TRUE(fh::IsAllZero(v));
        EXPECT_EQ(mm.LiveBlocks(), 0u);
        EXPECT_EQ(mm.BadFrees(), 0u);
    }
}

// A record full of stale bytes (of a type with no payload to free) is
// cleared whole, and a value written over it is the very record written
// over an empty one.
TEST(HostValueWriters, EveryByteOfAStaleRecordIsClearedOrWritten) {
    auto stale = [] {
        V8Variant v;
        std::memset(static_cast<void*>(&v), 0xA5, sizeof v);
        v.vt = VTYPE_R8;
        return v;
    };
    TV8UserObject object;
    V8Variant cleared = stale();
    object.V8ClearVar(&cleared);
    EXPECT_TRUE(fh::IsAllZero(cleared));
    for (const TWriteCase& c : WriteCases()) {
        if (c.liveBlocks != 0) continue;  // a payload's address differs from write to write
        SCOPED_TRACE(c.name);
        fh::TFakeMemoryManager mm;
        object.V8MM = mm.Manager();
        V8Variant over = stale(), fresh = fh::Empty();
        c.write(object, &over);
        c.write(object, &fresh);
        EXPECT_EQ(std::memcmp(&over, &fresh, sizeof over), 0);
    }
}

TEST(HostValueWriters, RefusedAllocationLeavesTheNewTypeWithoutPayload) {
    struct TCase {
        const char* name;
        std::function<bool(TV8UserObject&, V8Variant*)> write;
        uint32_t vt;
    };
    const std::vector<TCase> cases = {
        {"SetWString", [](TV8UserObject& o, V8Variant* v) { return o.V8SetWString(v, u"x"); }, VTYPE_PWSTR},
        {"SetPWideChar", [](TV8UserObject& o, V8Variant* v) { return o.V8SetPWideChar(v, u"x"); }, VTYPE_PWSTR},
        {"SetPChar", [](TV8UserObject& o, V8Variant* v) { return o.V8SetPChar(v, "x"); }, VTYPE_PSTR},
        {"SetString", [](TV8UserObject& o, V8Variant* v) { return o.V8SetString(v, "x"); }, VTYPE_PSTR},
        {"SetBlob", [](TV8UserObject& o, V8Variant* v) { return o.V8SetBlob(v, "x", 1); }, VTYPE_BLOB},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        fh::TFakeMemoryManager mm;
        TV8UserObject object;
        object.V8MM = mm.Manager();
        V8Variant v = fh::WString(mm, u"old");
        mm.RefuseNext(1);
        EXPECT_FALSE(c.write(object, &v));
        EXPECT_EQ(mm.RefusedCalls(), 1u);
        EXPECT_EQ(fh::TypeOf(v), c.vt);
        EXPECT_EQ(v.VarEnum.vtRecString.pstrVal, nullptr);
        EXPECT_EQ(v.VarEnum.vtRecString.strLen, 0u);
        EXPECT_EQ(mm.LiveBlocks(), 0u);  // old text freed, nothing new
        // The next clear has nothing to free.
        object.V8ClearVar(&v);
        EXPECT_EQ(mm.BadFrees(), 0u);
    }
}

TEST(HostValueWriters, NullInputsAnswerTrueAndKeepTheRecord) {
    fh::TFakeMemoryManager mm;
    TV8UserObject object;
    object.V8MM = mm.Manager();
    V8Variant v = fh::WString(mm, u"keep");
    const V8Variant before = v;
    EXPECT_TRUE(object.V8SetPWideChar(&v, nullptr));
    EXPECT_TRUE(object.V8SetPChar(&v, nullptr));
    EXPECT_TRUE(object.V8SetBlob(&v, nullptr, 5));
    EXPECT_EQ(std::memcmp(&v, &before, sizeof(v)), 0);
    EXPECT_EQ(fh::ReadWString(v), u"keep");
    EXPECT_EQ(mm.AllocCalls(), 0u);
    EXPECT_EQ(mm.FreeCalls(), 0u);
    fh::Release(mm, v);
}

TEST(HostValueWriters, NegativeBlobLengthAnswersFalseWithoutAllocating) {
    fh::TFakeMemoryManager mm;
    TV8UserObject object;
    object.V8MM = mm.Manager();
    V8Variant v = fh::WString(mm, u"old");
    EXPECT_FALSE(object.V8SetBlob(&v, "abc", -1));
    EXPECT_EQ(fh::TypeOf(v), VTYPE_BLOB);
    EXPECT_EQ(v.VarEnum.vtRecString.pstrVal, nullptr);
    EXPECT_EQ(v.VarEnum.vtRecString.strLen, 0u);
    EXPECT_EQ(mm.AllocCalls(), 0u);
    EXPECT_EQ(mm.LiveBlocks(), 0u);
}

TEST(HostValueWriters, WritingARecordsOwnTextIntoItselfKeepsTheText) {
    fh::TFakeMemoryManager mm;
    TV8UserObject object;
    object.V8MM = mm.Manager();
    V8Variant v = fh::WString(mm, u"self");
    EXPECT_TRUE(object.V8SetPWideChar(&v, v.VarEnum.vtRecWideString.pwstrVal));
    EXPECT_EQ(fh::ReadWString(v), u"self");
    V8Variant b = fh::PString(mm, "bytes");
    EXPECT_TRUE(object.V8SetPChar(&b, b.VarEnum.vtRecString.pstrVal));
    EXPECT_EQ(fh::ReadBytes(b), "bytes");
    EXPECT_TRUE(object.V8SetBlob(&b, b.VarEnum.vtRecString.pstrVal, 3));
    EXPECT_EQ(fh::ReadBytes(b), "byt");
    EXPECT_EQ(mm.BadFrees(), 0u);
    object.V8ClearVar(&v);
    object.V8ClearVar(&b);
    EXPECT_EQ(mm.LiveBlocks(), 0u);
}

TEST(HostValueWriters, WithoutMemoryManagerTextWritersAnswerFalseAndFreeNothing) {
    fh::TFakeMemoryManager mm;  // the host's heap, not handed to the object
    TV8UserObject object;
    V8Variant v = fh::WString(mm, u"host text");
    void* hostBlock = v.VarEnum.vtRecWideString.pwstrVal;

    EXPECT_FALSE(object.V8SetWString(&v, u"x"));
    EXPECT_EQ(fh::TypeOf(v), VTYPE_PWSTR);
    EXPECT_EQ(v.VarEnum.vtRecWideString.pwstrVal, nullptr);
    EXPECT_EQ(v.VarEnum.vtRecWideString.wstrLen, 0u);
    EXPECT_FALSE(object.V8SetPChar(&v, "x"));
    EXPECT_EQ(fh::TypeOf(v), VTYPE_PSTR);
    EXPECT_FALSE(object.V8SetBlob(&v, "x", 1));
    EXPECT_EQ(fh::TypeOf(v), VTYPE_BLOB);
    EXPECT_FALSE(object.V8SetPWideChar(&v, u"x"));
    // Scalars need no memory.
    object.V8SetInt(&v, 5);
    EXPECT_EQ(fh::TypeOf(v), VTYPE_I4);
    EXPECT_EQ(v.VarEnum.lVal, 5);
    EXPECT_EQ(mm.AllocCalls(), 0u);
    EXPECT_EQ(mm.FreeCalls(), 0u);
    mm.HostFree(hostBlock);  // the host still owns its block

    char16_t* p = reinterpret_cast<char16_t*>(&v);  // anything not null
    EXPECT_FALSE(V8CopyWString(nullptr, u"abc", &p));
    EXPECT_EQ(p, nullptr);
}

TEST(HostValueWriters, ClearVarFreesOnlyPayloadBlocksAndZeroesTheRecord) {
    fh::TFakeMemoryManager mm;
    TV8UserObject object;
    object.V8MM = mm.Manager();

    V8Variant nullText = fh::OfType(VTYPE_PWSTR);
    nullText.VarEnum.vtRecWideString.wstrLen = 9;
    object.V8ClearVar(&nullText);
    EXPECT_EQ(mm.FreeCalls(), 0u);
    EXPECT_TRUE(fh::IsAllZero(nullText));

    V8Variant highBits = fh::WString(mm, u"t");
    highBits.vt |= 0x4000;
    object.V8ClearVar(&highBits);
    EXPECT_EQ(mm.FreeCalls(), 1u);
    EXPECT_TRUE(fh::IsAllZero(highBits));

    V8Variant number = fh::R8(3.5);
    object.V8ClearVar(&number);
    EXPECT_EQ(mm.FreeCalls(), 1u);
    EXPECT_TRUE(fh::IsAllZero(number));
    EXPECT_EQ(mm.LiveBlocks(), 0u);
    EXPECT_EQ(mm.BadFrees(), 0u);
}

// A COM-style object whose third table entry is its release.
struct TFakeInterface {
    const void* const* vtbl;
    int releases = 0;
};
uint32_t V8_CALL FakeAddRefOrQuery(void*) { return 0; }
uint32_t V8_CALL FakeRelease(void* self) { return static_cast<uint32_t>(++static_cast<TFakeInterface*>(self)->releases); }
const void* const FakeInterfaceTable[3] = {reinterpret_cast<const void*>(&FakeAddRefOrQuery),
                                           reinterpret_cast<const void*>(&FakeAddRefOrQuery),
                                           reinterpret_cast<const void*>(&FakeRelease)};

TEST(HostValueWriters, ClearVarReleasesAnInterfaceOnce) {
    fh::TFakeMemoryManager mm;
    TV8UserObject object;
    object.V8MM = mm.Manager();
    TFakeInterface unknown{FakeInterfaceTable};
    V8Variant v = fh::OfType(VTYPE_INTERFACE);
    v.VarEnum.vtRecInterface.pInterfaceVal = &unknown;
    object.V8SetBool(&v, true);
    EXPECT_EQ(unknown.releases, 1);
    EXPECT_EQ(fh::TypeOf(v), VTYPE_BOOL);
    EXPECT_EQ(mm.FreeCalls(), 0u);
}

TEST(HostValueCopy, CopiesTextIntoAHostBlockOrAnswersFalse) {
    fh::TFakeMemoryManager mm;
    char16_t* p = nullptr;
    ASSERT_TRUE(V8CopyWString(mm.Manager(), u"Касса", &p));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(mm.Owns(p));
    EXPECT_EQ(mm.BlockSize(p), 12u);
    EXPECT_EQ(std::u16string(p), u"Касса");
    mm.HostFree(p);

    ASSERT_TRUE(V8CopyWString(mm.Manager(), u"", &p));
    EXPECT_EQ(mm.BlockSize(p), 2u);
    EXPECT_EQ(p[0], 0);
    mm.HostFree(p);

    mm.RefuseNext(1);
    EXPECT_FALSE(V8CopyWString(mm.Manager(), u"x", &p));
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(mm.LiveBlocks(), 0u);
}

}  // namespace
