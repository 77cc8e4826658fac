// kelmorcheck.exe [DLL]: the support engineer's check of a till. Checks the
// add-in KelmorTarvik1CNative.dll beside the program (or the one given), the
// fiscal driver's registration, the creation of the driver through the
// add-in, and the add-in's log file; one line per finding, in Russian.
//
// Exit code: 0 when the add-in can drive the register, 1 when it cannot (a
// line marked [ПРОБЛЕМА] says why), 2 for a wrong call.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "kelmorcheck/checks.h"

namespace {

using namespace kelmorcheck;

const char16_t* const Usage[] = {
    u"Использование: kelmorcheck.exe [ПУТЬ_К_DLL]",
    u"Проверяет внешнюю компоненту KelmorTarvik1CNative.dll (без пути — ту, что лежит рядом с kelmorcheck.exe),",
    u"регистрацию драйвера ККТ, создание драйвера через надстройку и журнал надстройки e:\\lll.txt.",
    u"Запускайте kelmorcheck.exe той же разрядности, что и клиент 1С (win64 или win32).",
    u"Код завершения: 0 — надстройка может работать с ККТ; 1 — не может (см. строки [ПРОБЛЕМА]);",
    u"2 — неверный вызов.",
};

void PrintUsage(TOutput& out) {
    for (const char16_t* line : Usage) out.Line(line);
}

std::u16string FullPath(const std::u16string& path) {
    const DWORD n = GetFullPathNameW(W(path), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::vector<wchar_t> buffer(n + 1, L'\0');
    return GetFullPathNameW(W(path), n + 1, buffer.data(), nullptr) > 0 ? U16(buffer.data()) : path;
}

std::u16string ProgramFolder() {
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::u16string path = n > 0 ? U16(buffer.data()) : std::u16string();
    const size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

bool Windows64() {
    if (sizeof(void*) == 8) return true;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

int Run(const std::vector<std::u16string>& args) {
    TOutput out(STD_OUTPUT_HANDLE);
    if (args.size() > 1 || (args.size() == 1 && (args[0].empty() || args[0][0] == u'/' || args[0][0] == u'-'))) {
        TOutput err(STD_ERROR_HANDLE);
        PrintUsage(args.size() == 1 && (args[0] == u"/?" || args[0] == u"-h" || args[0] == u"--help") ? out : err);
        return 2;
    }
    TContext context;
    context.ProcessBits = sizeof(void*) == 8 ? 64 : 32;
    context.Windows64 = Windows64();
    context.DllPath = FullPath(args.empty() ? ProgramFolder() + u"KelmorTarvik1CNative.dll" : args[0]);

    TReport report(out);
    report.Text(u"kelmorcheck: проверка надстройки KelmorTarvik1CNative для ККТ");
    report.Text(u"Эта программа " + BitsAdjective(context.ProcessBits, u"ая") + u", Windows " +
                BitsAdjective(context.Windows64 ? 64 : 32, u"ая") + u": проверка показывает то, что видит " +
                BitsAdjective(context.ProcessBits, u"ый") + u" клиент 1С");
    CheckAddin(report, context);
    CheckRegistration(report, context);
    if (!CheckCreation(report, context)) {
        // The creation is stuck inside the add-in or the driver: end without
        // unloading anything under it.
        report.Text(u"Итог: надстройка не может работать с ККТ на этой кассе");
        TerminateProcess(GetCurrentProcess(), 1);
        return 1;
    }
    CheckLog(report);
    if (report.Problems() == 0)
        report.Text(u"Итог: надстройка может работать с ККТ (строки [ВНИМАНИЕ] — для сведения)");
    else
        report.Text(u"Итог: надстройка не может работать с ККТ на этой кассе: исправьте строки [ПРОБЛЕМА]");
    if (context.Module != nullptr) FreeLibrary(context.Module);
    return report.Problems() == 0 ? 0 : 1;
}

}  // namespace

int main() {
    // Loader and drive errors come back as codes, never as dialogs: the drive
    // E: may be a CD drive without a disc.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::u16string> args;
    for (int i = 1; argv != nullptr && i < argc; ++i) args.push_back(U16(argv[i]));
    if (argv != nullptr) LocalFree(argv);
    try {
        return Run(args);
    } catch (...) {
        TOutput err(STD_ERROR_HANDLE);
        err.Line(u"kelmorcheck: внутренняя ошибка проверки");
        return 1;
    }
}
