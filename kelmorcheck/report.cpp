#include "kelmorcheck/report.h"

#include "platform/text.h"

namespace kelmorcheck {

const char16_t* const MarkOk = u"[ OK ]";
const char16_t* const MarkWarning = u"[ВНИМАНИЕ]";
const char16_t* const MarkProblem = u"[ПРОБЛЕМА]";

TOutput::TOutput(DWORD standardHandle) : FHandle(GetStdHandle(standardHandle)) {
    DWORD mode = 0;
    FConsole = FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE && GetConsoleMode(FHandle, &mode) != 0;
}

void TOutput::Line(const std::u16string& text) {
    if (FHandle == nullptr || FHandle == INVALID_HANDLE_VALUE) return;
    const std::u16string line = text + u"\r\n";
    DWORD written = 0;
    if (FConsole) {
        WriteConsoleW(FHandle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    const std::string bytes = text::ToUtf8(line);
    WriteFile(FHandle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace kelmorcheck
