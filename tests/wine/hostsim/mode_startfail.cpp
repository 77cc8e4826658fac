// hostsim startfail <KelmorFailingAddin.dll>: loads an add-in whose start-up
// registration fails half-way (tests/wine/testaddin/failingaddin.cpp). The
// host must survive LoadLibraryW, be offered no class, and find the failure
// in the add-in's log (e:\lll.txt, code page 1251), the file closed again.
// Exit code: the number of failed checks.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/wine/hostsim/hostlib.h"
#include "tests/wine/hostsim/product_support.h"

namespace {

using hostsim::TCheckList;
using hostsim::THostLibrary;
using hostsim::THostObject;
using hostsim::product::LogPath;
using hostsim::product::TLogEntry;
using hostsim::product::TLogReader;

const std::u16string ExpectedLine = u"[ERROR] Ошибка регистрации классов компоненты при загрузке: std::bad_alloc";

// The text in code page 1251, as the log is to hold it.
std::string InCodePage1251(const std::u16string& text) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
    const int n = WideCharToMultiByte(1251, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(1251, 0, wide, static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

int Run(const std::vector<std::wstring>& args) {
    TCheckList c;
    if (args.size() != 1) {
        hostsim::Say("usage: hostsim startfail <KelmorFailingAddin.dll>\n");
        return 2;
    }
    DeleteFileW(LogPath);

    c.Section("loading a library whose start-up registration fails");
    THostLibrary lib;
    if (!c.Check(lib.Load(args[0]), "LoadLibraryW succeeds and the three exports are there", lib.Error()))
        return c.Summary();

    const char16_t* names = lib.GetClassNames();
    c.Check(names != nullptr && std::u16string(names).empty(), "GetClassNames answers an empty text",
            names == nullptr ? "null" : "\"" + hostsim::Utf8(std::u16string(names)) + "\"");
    {
        THostObject obj(lib);
        const int32_t made = obj.Create(u"KelmorFailingAddin");
        c.Check(made == 0 && obj.Untouched(), "GetClassObject(\"KelmorFailingAddin\") gives 0, location untouched",
                "result " + std::to_string(made));
    }

    c.Section("the failure in the add-in's log");
    TLogReader log;
    const std::vector<TLogEntry> entries = log.ReadNew();
    std::string why;
    c.Check(entries.size() == 1 && entries[0].Text == ExpectedLine && TLogReader::HeaderOk(entries[0].Header, why),
            "e:\\lll.txt holds one line: \"" + hostsim::Utf8(ExpectedLine) + "\"",
            std::to_string(entries.size()) + " line(s)" +
                (entries.empty() ? std::string() : ", first \"" + hostsim::Utf8(entries[0].Text) + "\"") +
                (why.empty() ? std::string() : ", " + why));
    std::string bytes;
    hostsim::ReadFileBytes(LogPath, bytes);
    c.Check(bytes.find(InCodePage1251(ExpectedLine)) != std::string::npos, "the line is written in code page 1251");

    // Nothing can switch the log on again without a class, so the library
    // must not keep the file open.
    HANDLE h = CreateFileW(LogPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    c.Check(h != INVALID_HANDLE_VALUE, "the library left the log file closed",
            "error " + std::to_string(GetLastError()));
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);

    lib.Unload();
    return c.Summary();
}

const hostsim::THostMode Mode("startfail", "<KelmorFailingAddin.dll>   a start-up registration that fails", &Run);

}  // namespace
