// Host texts read on every call: their length, and their copy into a
// buffer of ours.
//
// The length of a zero-terminated UTF-16 text is read up to the first zero
// unit. A receipt's package runs to thousands of units, so the scan goes a
// block of units at a time where the processor allows it. The block scans
// read whole aligned blocks, which never reach into a page that holds no
// unit of the text; the bytes they read past the first zero are never used.
// Builds with AddressSanitizer use the plain scan everywhere.
#pragma once

#include <cstddef>

namespace textscan {

// The fastest scan this processor runs.
size_t Length(const char16_t* p);

// Each scan on its own, for tests. The block scans may be called only where
// their Has... answers true.
size_t PlainLength(const char16_t* p);
bool HasSse2();
size_t Sse2Length(const char16_t* p);
bool HasAvx2();
size_t Avx2Length(const char16_t* p);

// Copies count units from p to out (which do not overlap): with the
// processor's own string copy where it is fast at any alignment, which
// beats the runtime's copy for texts of kilobytes, else with memcpy.
void CopyUnits(char16_t* out, const char16_t* p, size_t count);
bool HasFastStringCopy();

}  // namespace textscan
