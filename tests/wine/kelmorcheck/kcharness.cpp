// kcharness [OPTIONS] -- PROGRAM [ARGS...]
//
// Sets up the till for one run of kelmorcheck.exe in the same Wine session,
// runs PROGRAM with this program's standard handles, undoes the set-up and
// exits with PROGRAM's exit code. Before anything, the driver's classes are
// removed from both registry views, so every run starts from a till without
// a driver.
//   --register          regsvr32 fakedriver.dll (the driver's test double)
//   --register-other FILE
//                       the double's classes written into the other registry
//                       view only (a 32-bit view for a 64-bit program and the
//                       other way round), naming FILE; exit 77 on 32-bit
//                       Windows, which has one view
//   --register-this FILE
//                       the classes written into this view, naming FILE (a
//                       file that does not exist, a double of the other
//                       bitness)
//   --register-missing  --register-this removed\fakedriver.dll
//   --hold-log          e:\lll.txt held open as the add-in holds it
//   --hold-log-exclusive
//                       e:\lll.txt held open by a program that lets nobody
//                       else open it (an archiver, an editor)
//   --open-log-meanwhile
//                       e:\lll.txt opened and closed again and again, as the
//                       add-in opens it, for as long as PROGRAM runs; exit 98
//                       when one of those opens was refused
//   --env NAME=VALUE    an environment variable for PROGRAM (steers the double)
//   --windows-bits      prints the bitness of Windows, as the system tells it
//                       to this program (64 for a 32-bit program under
//                       WoW64), and exits
// Exit codes of its own: 77 skipped, 98 the add-in's open of its log was
// refused, 99 the set-up failed.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t* const Classes[] = {L"{32D32C7A-CEF9-4AC5-8953-3D6DF81ABBD6}", L"{E187099F-8C5C-4723-8866-D8DBB6353ADE}"};

std::wstring FullPath(const std::wstring& name) {
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetFullPathNameW(name.c_str(), MAX_PATH * 2, buf, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(buf, n) : name;
}

// Asked of the system, not taken from the build: a 32-bit program sees two
// registry views only under WoW64.
bool Windows64() {
    if (sizeof(void*) == 8) return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

REGSAM OtherView() { return sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }
REGSAM ThisView() { return sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

void RemoveClasses(REGSAM view) {
    HKEY clsid = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0, KEY_ALL_ACCESS | view, &clsid) !=
        ERROR_SUCCESS)
        return;
    for (const wchar_t* c : Classes) RegDeleteTreeW(clsid, c);
    RegCloseKey(clsid);
}

void RemoveAll() {
    RemoveClasses(ThisView());
    if (Windows64()) RemoveClasses(OtherView());
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// What regsvr32 of the double writes, in the given view, naming the given file.
bool WriteClasses(REGSAM view, const std::wstring& server) {
    for (const wchar_t* c : Classes) {
        const std::wstring path = std::wstring(L"Software\\Classes\\CLSID\\") + c + L"\\InprocServer32";
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return false;
        const bool ok = SetString(key, nullptr, server) && SetString(key, L"ThreadingModel", L"Both");
        RegCloseKey(key);
        if (!ok) return false;
    }
    return true;
}

// Runs a command line with this program's standard handles; -1 when it does
// not start.
int Run(std::wstring command) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError})
        if (h != nullptr && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

int Regsvr32(bool unregister) {
    return Run(std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" + FullPath(L"fakedriver.dll") +
               L"\"");
}

std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    for (wchar_t c : arg) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

// Opens and closes the log as the add-in does (read and write, others may
// only read; never creating it) until told to stop, counting the opens that
// another handle's access or sharing refused.
struct TLogOpener {
    volatile LONG Stop = 0;
    LONG Opens = 0;
    LONG Refused = 0;
};

DWORD WINAPI OpenLogAgainAndAgain(void* parameter) {
    auto& opener = *static_cast<TLogOpener*>(parameter);
    while (InterlockedCompareExchange(&opener.Stop, 0, 0) == 0) {
        HANDLE h = CreateFileW(L"e:\\lll.txt", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            ++opener.Opens;
            CloseHandle(h);
        } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
            ++opener.Refused;
        }
    }
    return 0;
}

int Fail(const char* what) {
    std::fprintf(stderr, "kcharness: %s\n", what);
    RemoveAll();
    return 99;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool registerDouble = false, holdLog = false, holdLogExclusive = false, openLogMeanwhile = false;
    std::wstring otherViewFile, thisViewFile;
    std::wstring command;
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--") {
            ++i;
            break;
        }
        if (a == L"--register") registerDouble = true;
        else if (a == L"--register-other" && i + 1 < argc) otherViewFile = argv[++i];
        else if (a == L"--register-this" && i + 1 < argc) thisViewFile = argv[++i];
        else if (a == L"--register-missing") thisViewFile = L"removed\\fakedriver.dll";
        else if (a == L"--hold-log") holdLog = true;
        else if (a == L"--hold-log-exclusive") holdLogExclusive = true;
        else if (a == L"--open-log-meanwhile") openLogMeanwhile = true;
        else if (a == L"--windows-bits") {
            std::printf("%d\n", Windows64() ? 64 : 32);
            return 0;
        }
        else if (a == L"--env" && i + 1 < argc) {
            const std::wstring setting = argv[++i];
            const size_t eq = setting.find(L'=');
            if (eq == std::wstring::npos) return Fail("--env needs NAME=VALUE");
            SetEnvironmentVariableW(setting.substr(0, eq).c_str(), setting.substr(eq + 1).c_str());
        } else {
            return Fail("unknown option");
        }
    }
    for (; i < argc; ++i) command += (command.empty() ? L"" : L" ") + Quote(argv[i]);
    LocalFree(argv);
    if (command.empty()) return Fail("no program to run");

    RemoveAll();
    if (!otherViewFile.empty() && !Windows64()) {
        std::printf("SKIPPED: 32-bit Windows has one registry view\n");
        return 77;
    }
    if (registerDouble && Regsvr32(false) != 0) return Fail("regsvr32 fakedriver.dll failed");
    if (!otherViewFile.empty() && !WriteClasses(OtherView(), FullPath(otherViewFile)))
        return Fail("cannot write the classes into the other registry view");
    if (!thisViewFile.empty() && !WriteClasses(ThisView(), FullPath(thisViewFile)))
        return Fail("cannot write the classes into this registry view");
    HANDLE log = INVALID_HANDLE_VALUE;
    if (holdLog || holdLogExclusive) {
        log = CreateFileW(L"e:\\lll.txt", GENERIC_READ | GENERIC_WRITE, holdLogExclusive ? 0 : FILE_SHARE_READ, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log == INVALID_HANDLE_VALUE) return Fail("cannot hold e:\\lll.txt open");
    }

    TLogOpener opener;
    HANDLE openerThread = nullptr;
    if (openLogMeanwhile) {
        openerThread = CreateThread(nullptr, 0, &OpenLogAgainAndAgain, &opener, 0, nullptr);
        if (openerThread == nullptr) return Fail("cannot start the thread that opens e:\\lll.txt");
    }

    std::fflush(stdout);
    const int code = Run(command);

    if (openerThread != nullptr) {
        InterlockedExchange(&opener.Stop, 1);
        WaitForSingleObject(openerThread, INFINITE);
        CloseHandle(openerThread);
        std::printf("kcharness: e:\\lll.txt opened %ld times as the add-in opens it, refused %ld times\n",
                    static_cast<long>(opener.Opens), static_cast<long>(opener.Refused));
    }
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
    if (registerDouble) Regsvr32(true);
    RemoveAll();
    if (code < 0) return Fail("the program did not start");
    if (opener.Refused > 0) return 98;
    if (openLogMeanwhile && opener.Opens == 0) return Fail("e:\\lll.txt was never opened while the program ran");
    return code;
}
