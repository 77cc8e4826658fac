// The findings of kelmorcheck.exe: one line each, marked as fine, worth a
// look, or a problem that stops the add-in from driving the register.
//
// Output: in a console the lines go through WriteConsoleW, so they read right
// whatever the console's code page (866 on a Russian Windows); redirected to
// a file or a pipe they are UTF-8 without a byte-order mark, lines ended by
// CR LF.
#pragma once

#include <windows.h>

#include <string>

namespace kelmorcheck {

extern const char16_t* const MarkOk;       // "[ OK ]"
extern const char16_t* const MarkWarning;  // "[ВНИМАНИЕ]"
extern const char16_t* const MarkProblem;  // "[ПРОБЛЕМА]"

// Writes whole lines of UTF-16 text to one standard handle.
class TOutput {
public:
    explicit TOutput(DWORD standardHandle);
    void Line(const std::u16string& text);

private:
    HANDLE FHandle;
    bool FConsole = false;
};

class TReport {
public:
    explicit TReport(TOutput& out) : FOut(out) {}

    // A line without a mark: the heading and the verdict.
    void Text(const std::u16string& text) { FOut.Line(text); }
    void Ok(const std::u16string& text) { Finding(MarkOk, text); }
    void Warning(const std::u16string& text) { Finding(MarkWarning, text); }
    void Problem(const std::u16string& text) {
        ++FProblems;
        Finding(MarkProblem, text);
    }
    int Problems() const { return FProblems; }

private:
    void Finding(const char16_t* mark, const std::u16string& text) { FOut.Line(mark + (u" " + text)); }

    TOutput& FOut;
    int FProblems = 0;
};

}  // namespace kelmorcheck
