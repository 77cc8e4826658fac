// Texts of failed COM calls, shared by the driver wrappers and the adapter.
#pragma once

#include <cstdint>
#include <string>

// A description left by the failing side with its trailing full stops,
// blanks and control characters cut.
std::u16string TrimErrorDescription(const std::u16string& description);
// "OLE error " and the code as eight lowercase hexadecimal digits.
std::u16string OleErrorCodeText(int32_t code);
// "0x" and the code as eight uppercase hexadecimal digits, as the system's
// documentation writes HRESULTs.
std::u16string HResultText(int32_t code);
// The system's message for the code, else OleErrorCodeText.
std::u16string StatusMessage(int32_t code);
// The text for a failed call: the trimmed description when one is left,
// else StatusMessage.
std::u16string OleErrorMessage(int32_t code, const std::u16string& description);
