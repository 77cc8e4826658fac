// The tests' choice of the user's decimal separator. Only the native (POSIX)
// build of the core has this seam: that build serves the tests alone, which
// need both separators in one process. The Windows DLL has no such switch;
// there the separator is the user's regional setting, read at load.
#pragma once

#if defined(_WIN32)
#error "the decimal separator can be chosen only in the native build of the core"
#endif

namespace platform {

// From now on UserDecimalSeparator (and every number text written or parsed
// with it) uses separator; 0 goes back to the system's.
void SetUserDecimalSeparatorForTests(char16_t separator);

}  // namespace platform
