// lookupcheck.exe: what FindMethod answers on Windows, and how host texts are
// read.
//  - The name index of a class answers every name exactly as the plain walk
//    does: entry by entry, the localized name before the English one,
//    compared with CompareStringW (user's default locale, no flags). Names:
//    the product's 74, their case variants, the names with characters the
//    comparison may ignore or fold (soft hyphen, zero-width characters,
//    combining marks, decomposed letters, ё for е, Latin for Cyrillic look-
//    alikes, full-width letters, blanks), and a registry whose entries repeat
//    one another only in the eyes of the locale, so that the first equal
//    entry must win.
//  - Host texts are read up to the first zero unit, wherever the text starts
//    and ends against the blocks it is scanned in, by every scan this
//    processor runs (SSE2, AVX2 in the 32-bit build too).
// Prints PASS/FAIL lines and "SUMMARY: N passed, N failed".
#include <windows.h>
#undef RegisterClass  // windows.h's macro would rename the registry's operation

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "component/methodtable.h"
#include "hostapi/classreg.h"
#include "hostapi/hostvalues.h"
#include "hostapi/nameindex.h"
#include "hostapi/textscan.h"
#include "platform/platform.h"
#include "tests/support/fakehost.h"
#include "tests/wine/hostsim/hostlib.h"

namespace {

using hostsim::TCheckList;
using hostsim::Utf8;

// The plain walk: what FindMethod answered before it had an index.
int32_t Walk(const TClassReg& reg, const std::u16string& name) {
    for (int32_t i = 0; i < reg.MethCount; ++i) {
        const TMethReg* meth = reg.Method(i);
        if (platform::SameName(meth->MethNameLoc, name) || platform::SameName(meth->MethName, name)) return i;
    }
    return -1;
}

std::u16string Mapped(const std::u16string& s, DWORD flags) {
    std::u16string out(s.size() * 2 + 8, u'\0');
    const int n = LCMapStringW(LOCALE_USER_DEFAULT, flags, reinterpret_cast<const wchar_t*>(s.c_str()),
                               static_cast<int>(s.size()), reinterpret_cast<wchar_t*>(&out[0]),
                               static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::u16string Replaced(std::u16string s, char16_t from, const std::u16string& to) {
    for (size_t at = s.find(from); at != std::u16string::npos; at = s.find(from, at + to.size()))
        s.replace(at, 1, to);
    return s;
}

// Every variant of a name that the test asks for.
std::vector<std::u16string> Variants(const std::u16string& name) {
    std::vector<std::u16string> v = {name, Mapped(name, LCMAP_LOWERCASE), Mapped(name, LCMAP_UPPERCASE)};
    std::u16string flipped = name;
    flipped[0] = Mapped(name.substr(0, 1), IsCharUpperW(static_cast<wchar_t>(name[0])) ? LCMAP_LOWERCASE
                                                                                       : LCMAP_UPPERCASE)[0];
    v.push_back(flipped);
    const char16_t inserted[] = {0x00AD, 0x200B, 0x200C, 0x200D, 0x2060, 0xFEFF, 0x0001, 0x001F,
                                 0x0301, 0x0020, 0x002D, 0x0027, 0x00A0, 0x3000};
    for (char16_t c : inserted) {
        v.push_back(std::u16string(1, c) + name);
        v.push_back(name.substr(0, name.size() / 2) + c + name.substr(name.size() / 2));
        v.push_back(name + c);
    }
    v.push_back(Replaced(name, u'й', u"и\u0306"));  // decomposed
    v.push_back(Replaced(name, u'е', u"ё"));
    v.push_back(Replaced(name, u'е', u"е\u0308"));
    v.push_back(Replaced(name, u'о', u"o"));  // Latin o for Cyrillic о
    v.push_back(Replaced(name, u'o', u"о"));  // and back
    v.push_back(Replaced(name, u'e', u"é"));
    std::u16string wide = name;
    for (char16_t& c : wide)
        if (c >= u'!' && c <= u'~') c = static_cast<char16_t>(c - u'!' + 0xFF01);
    v.push_back(wide);
    v.push_back(name.substr(0, name.size() - 1));
    v.push_back(name + name.substr(name.size() - 1));
    return v;
}

void CheckIndexAgainstWalk(TCheckList& C, const char* what, const TClassReg& reg,
                           const std::vector<std::u16string>& names) {
    int mismatches = 0, equalButNotSame = 0;
    std::string first;
    const TNameIndex& index = reg.MethodIndex();
    for (const std::u16string& name : names) {
        const int32_t expected = Walk(reg, name);
        const int32_t got = index.Find(name);
        if (got != expected) {
            if (++mismatches <= 5)
                first += (first.empty() ? "" : "; ") + Utf8(name) + " -> " + std::to_string(got) + ", walk " +
                         std::to_string(expected);
        }
        if (expected >= 0) {
            const TMethReg* m = reg.Method(expected);
            if (name != m->MethName && name != m->MethNameLoc) ++equalButNotSame;
        }
    }
    C.Check(mismatches == 0,
            std::string(what) + ": the index answers " + std::to_string(names.size()) +
                " names as the walk does (" + std::to_string(equalButNotSame) +
                " of them equal to a registered name only by the locale's comparison)",
            std::to_string(mismatches) + " differ: " + first);
}

void NameLookUps(TCheckList& C) {
    C.Section("FindMethod's index against the locale-aware walk");
    TClassRegList list;
    const TClassReg* product = RegisterExtention30(list);
    std::vector<std::u16string> names;
    for (size_t i = 0; i < Extention30MethodCount; ++i)
        for (const char16_t* n : {Extention30Methods[i].Name, Extention30Methods[i].NameLoc})
            for (const std::u16string& v : Variants(n)) names.push_back(v);
    names.push_back(u"");
    names.push_back(u"Нет такого метода");
    CheckIndexAgainstWalk(C, "the product's 74 names and their variants", *product, names);

    // Entries that repeat earlier ones only for the locale: each must be
    // found at the first entry the locale calls equal, also when asked by
    // its own exact text.
    TClassReg* echo = list.RegisterClass(nullptr, u"Echo", u"Echo");
    const std::u16string base[] = {u"Открыть", u"Open", u"СформироватьЧек", u"Ёлка"};
    std::vector<std::u16string> registered;
    for (const std::u16string& b : base) {
        for (const std::u16string& v : Variants(b)) {
            echo->AddFunc(v, b + u"!", nullptr, 0);
            echo->AddFunc(b + u"?", v, nullptr, 0);
            registered.push_back(v);
            registered.push_back(b + u"!");
            registered.push_back(b + u"?");
        }
    }
    CheckIndexAgainstWalk(C, "a registry of names that repeat one another for the locale", *echo, registered);

    // Through the slot, as the host asks.
    int32_t bad = 0;
    for (size_t i = 0; i < Extention30MethodCount; ++i) {
        if (product->MethodIndex().Find(Extention30Methods[i].Name) != static_cast<int32_t>(i)) ++bad;
        if (product->MethodIndex().Find(Extention30Methods[i].NameLoc) != static_cast<int32_t>(i)) ++bad;
    }
    C.Equal(bad, 0, "each of the 74 names is found at its own index");
    C.Equal(product->MethodIndex().Find(u"getdescription"), -1, "the English name in lower case finds nothing");
}

void TextReading(TCheckList& C) {
    C.Section("host texts read up to their first zero unit");
    std::vector<std::pair<std::string, size_t (*)(const char16_t*)>> scans = {{"plain", &textscan::PlainLength}};
    if (textscan::HasSse2()) scans.push_back({"sse2", &textscan::Sse2Length});
    if (textscan::HasAvx2()) scans.push_back({"avx2", &textscan::Avx2Length});
    // Units with a zero byte must not end the text; only a zero unit does.
    const char16_t filler[] = {u'Ж', 0x0100, 0x0001, u'a', 0xFF00, 0x00FF};
    alignas(64) char16_t buffer[512];
    for (const auto& scan : scans) {
        int wrong = 0, cases = 0;
        for (size_t start = 0; start < 70; ++start) {
            for (size_t length = 0; length < 300; length += (length < 140 ? 1 : 7)) {
                for (size_t i = 0; i < 512; ++i) buffer[i] = 0;  // zeros before the start must not count
                for (size_t i = 0; i < length; ++i) buffer[start + i] = filler[(start + i) % 6];
                ++cases;
                if (scan.second(buffer + start) != length) ++wrong;
            }
        }
        C.Equal(wrong, 0, "the " + scan.first + " scan: every start and length against the blocks (" +
                              std::to_string(cases) + " texts)");
    }
    // And the reader, with whichever scan the processor runs.
    int wrong = 0;
    for (size_t start = 0; start < 70; ++start) {
        for (size_t length = 0; length < 300; length += 13) {
            for (size_t i = 0; i < 512; ++i) buffer[i] = 0;
            for (size_t i = 0; i < length; ++i) buffer[start + i] = filler[(start + i) % 6];
            V8Variant v = fakehost::Empty();
            v.vt = VTYPE_PWSTR;
            v.VarEnum.vtRecWideString.pwstrVal = buffer + start;
            v.VarEnum.vtRecWideString.wstrLen = 1000;  // never consulted
            const std::u16string_view text = V8GetWStringView(&v);
            if (text.data() != buffer + start || text.size() != length) ++wrong;
        }
    }
    C.Equal(wrong, 0, "V8GetWStringView reads each text to its first zero unit");

    // A text whose zero is the last unit of its page, the next page not
    // readable: no scan may touch it, whatever the length.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const size_t page = si.dwPageSize;
    char* base = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (!C.Check(base != nullptr && VirtualProtect(base + page, page, PAGE_NOACCESS, &old),
                 "two pages, the second not readable"))
        return;
    char16_t* const end = reinterpret_cast<char16_t*>(base + page);
    for (const auto& scan : scans) {
        int misread = 0;
        for (size_t length = 0; length < 400; ++length) {
            char16_t* const text = end - 1 - length;
            for (size_t i = 0; i < length; ++i) text[i] = filler[i % 6];
            end[-1] = 0;
            if (scan.second(text) != length) ++misread;
        }
        C.Equal(misread, 0, "the " + scan.first + " scan: texts that end at the page's end, the next page untouched");
    }
    VirtualFree(base, 0, MEM_RELEASE);

    // The copy of a text into a buffer of ours (the processor's string copy
    // where it is fast): exactly its units, from any start to any start.
    std::vector<char16_t> from(6000), to(6100);
    for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<char16_t>(i % 7 == 0 ? 0 : 0x0416 + i % 40);
    int miscopied = 0;
    for (size_t count : {size_t{0}, size_t{1}, size_t{17}, size_t{64}, size_t{65}, size_t{4096}, size_t{5000}}) {
        for (size_t source = 0; source < 40; source += 3) {
            for (size_t target = 0; target < 40; target += 5) {
                std::fill(to.begin(), to.end(), u'#');
                textscan::CopyUnits(to.data() + target, from.data() + source, count);
                for (size_t i = 0; i < to.size(); ++i) {
                    const bool inside = i >= target && i < target + count;
                    if (to[i] != (inside ? from[source + i - target] : u'#')) {
                        ++miscopied;
                        break;
                    }
                }
            }
        }
    }
    C.Equal(miscopied, 0, std::string("the copy of texts into our buffers (") +
                              (textscan::HasFastStringCopy() ? "the processor's string copy" : "memcpy") + ")");
}

}  // namespace

int main() {
    SetConsoleOutputCP(CP_UTF8);
    TCheckList C;
    NameLookUps(C);
    TextReading(C);
    return C.Summary();
}
