// Portable text helpers: the core keeps every text as UTF-16 (char16_t).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace text {

std::u16string FromUtf8(const std::string& s);  // invalid bytes become U+FFFD
std::string ToUtf8(const std::u16string& s);     // lone surrogates become U+FFFD
std::u16string FromInt(int64_t value);           // plain decimal, '-' when negative
// Signed decimal 32-bit integer: optional sign and digits only; false when it
// does not parse or overflows.
bool TryParseInt32(const std::u16string& s, int32_t& value);
// Length up to the first zero code unit; 0 for null.
size_t Length(const char16_t* s);
// The parts one after the other, in one allocation.
std::u16string Join(std::initializer_list<std::u16string_view> parts);

// FromInt's text held in the object itself: a number for a log line
// without a block of the heap. Read it while the object lives.
class TDecimal {
public:
    explicit TDecimal(int64_t value);
    std::u16string_view View() const { return std::u16string_view(FUnits + FStart, Capacity - FStart); }

private:
    static const size_t Capacity = 20;  // "-9223372036854775808"
    char16_t FUnits[Capacity];
    size_t FStart;
};

}  // namespace text

// Literal helper: u"..." already gives std::u16string via operator"" in C++;
// this shorthand keeps call sites short.
inline std::u16string U(const char* utf8) { return text::FromUtf8(utf8); }
