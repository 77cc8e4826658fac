// hostsim <mode> <args...>: loads an add-in DLL and drives it as the host
// does. Each mode lives in its own mode_*.cpp file and registers itself.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "tests/wine/hostsim/hostlib.h"

int main() {
    SetConsoleOutputCP(CP_UTF8);
    // Errors of the loader go to our output, not to message boxes.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 2; argv != nullptr && i < argc; ++i) args.emplace_back(argv[i]);
    const std::string mode = (argv != nullptr && argc > 1) ? hostsim::Utf8(std::wstring(argv[1])) : std::string();
    if (argv != nullptr) LocalFree(argv);

    for (const auto& entry : hostsim::Modes()) {
        if (entry.Name == mode) return entry.Run(args);
    }
    hostsim::Say("usage: hostsim <mode> <args...>\nmodes:\n");
    for (const auto& entry : hostsim::Modes())
        hostsim::Say("  hostsim %s %s\n", entry.Name.c_str(), entry.Usage.c_str());
    return mode.empty() || mode == "help" ? 0 : 2;
}
