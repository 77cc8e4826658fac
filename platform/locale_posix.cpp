// Locale services on POSIX systems (native builds and tests).
#include <langinfo.h>
#include <locale.h>

#include <atomic>
#include <cmath>
#include <cstdio>

#include "platform/platform.h"
#include "platform/text.h"
#include "tests/support/decimalseparator.h"

namespace platform {

namespace {

// The radix character of LC_NUMERIC as the environment sets it, read without
// touching the process-wide locale.
char16_t ReadSystemSeparator() {
    char16_t separator = u'.';
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
    if (loc != static_cast<locale_t>(0)) {
        const char* radix = nl_langinfo_l(RADIXCHAR, loc);
        if (radix != nullptr && *radix != 0) {
            const std::u16string r = text::FromUtf8(radix);
            if (r.size() == 1) separator = r[0];
        }
        freelocale(loc);
    }
    return separator;
}

char16_t SystemSeparator() {
    static const char16_t separator = ReadSystemSeparator();
    return separator;
}

// Read when the library starts.
[[maybe_unused]] const char16_t SeparatorAtLoad = SystemSeparator();

// The tests' choice (tests/support/decimalseparator.h); 0: the system's. The
// native build of the core serves the tests alone; the Windows DLL has no
// such switch.
std::atomic<char16_t> SeparatorOverride{0};

}  // namespace

bool SameName(const std::u16string& a, const std::u16string& b) { return a == b; }

bool NameSortKey(std::u16string_view name, std::string& key) {
    key.assign(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(char16_t));
    return true;
}

char16_t UserDecimalSeparator() {
    const char16_t forced = SeparatorOverride.load();
    return forced != 0 ? forced : SystemSeparator();
}

void SetUserDecimalSeparatorForTests(char16_t separator) { SeparatorOverride.store(separator); }

std::u16string FormatDouble(double value) {
    if (value == 0.0) return u"0";  // also for -0
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.15G", value);
    std::u16string result = text::FromUtf8(buffer);
    const char16_t separator = UserDecimalSeparator();
    for (char16_t& c : result) {
        if (c == u'.') c = separator;
    }
    return result;
}

}  // namespace platform
