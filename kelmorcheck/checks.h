// The four checks of kelmorcheck.exe and what they share: the add-in under
// check, the bitness of this process and of Windows, and small helpers for
// texts, system messages and paths.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "kelmorcheck/report.h"

namespace kelmorcheck {

// The add-in's exports as the host declares them (cdecl on i386).
using TGetClassObject = int32_t (*)(const char16_t* name, void** component);
using TGetClassNames = const char16_t* (*)();
using TDestroyObject = int32_t (*)(void** component);

extern const char16_t* const ClassName;          // "KelmorTarvik1C4"
extern const char16_t* const DriverClassText;    // the driver object's class
extern const char16_t* const MainClassText;      // the driver's main control
extern const char16_t* const DriverInterfaceText;  // ITarvik1C30
extern const char16_t* const LogPath;            // e:\lll.txt

struct TContext {
    std::u16string DllPath;  // full path of the add-in under check
    int ProcessBits = 0;     // 32 or 64
    bool Windows64 = false;  // false: one registry view, 32-bit only
    HMODULE Module = nullptr;
    TGetClassObject GetClassObject = nullptr;
    TGetClassNames GetClassNames = nullptr;
    TDestroyObject DestroyObject = nullptr;
    // Loaded, with the three exports and the class: the driver can be
    // created through it.
    bool AddinUsable = false;
    // The driver object's class in this process's registry view, and
    // whether the server file it names is there.
    bool DriverRegistered = false;
    bool DriverServerFound = false;
};

void CheckAddin(TReport& report, TContext& context);
void CheckRegistration(TReport& report, TContext& context);
// Answers false when the creation did not end in time; the process must then
// end without unloading anything.
bool CheckCreation(TReport& report, const TContext& context);
void CheckLog(TReport& report);

// --- Helpers -------------------------------------------------------------------

inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string U16(const wchar_t* s) {
    return s != nullptr ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}
std::u16string Decimal(uint64_t value);
// "0x80040154"
std::u16string Hex32(uint32_t value);
// The system's text for a Win32 error or an HRESULT, with its code:
// "«Класс не зарегистрирован» (0x80040154)", "«...» (код 5)"; the code alone
// when the system has no text.
std::u16string SystemText(uint32_t code);
// "64-разрядных" / "32-разрядных" and the like, by the number of bits.
std::u16string BitsAdjective(int bits, const char16_t* ending);
// Whether a file (not a folder) exists at the path.
bool FileExists(const std::u16string& path);

}  // namespace kelmorcheck
