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

// A class in this process's registry view: whether it is there, whether the
// server file it names is there, and, for an in-process server, the bitness
// of that file (0: not a Windows library of a known processor).
struct TRegisteredClass {
    bool Registered = false;
    bool ServerFound = false;
    bool InprocServer = false;
    int ServerBits = 0;
    std::u16string ServerFile;
};

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
    // The driver's two classes as this process's registry view has them.
    TRegisteredClass Driver;
    TRegisteredClass Main;
};

// The PE header of a program or library file, read without loading it.
struct TPeHeader {
    bool Valid = false;
    std::u16string Why;  // when not valid
    uint16_t Machine = 0;
    bool Dll = false;
};
TPeHeader ReadPeHeader(const std::u16string& path);
// 32 or 64 for the machine types a 1C client runs on, 0 for any other.
int MachineBits(uint16_t machine);

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
