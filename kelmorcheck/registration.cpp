// Check 2: the driver's classes under the machine-wide classes key, in this
// process's registry view and, on 64-bit Windows, in the other one. An
// in-process server serves only clients of its own bitness; a local server
// (a program of its own) serves both. A view says nothing about the bitness
// of the file it names: an installer of the other bitness may have written
// its own library into this view, so the file's PE header is read too.
#include <vector>

#include "kelmorcheck/checks.h"

namespace kelmorcheck {

namespace {

struct TServer {
    bool Present = false;
    std::u16string File;  // the server file as the system will look for it
    bool FileFound = false;
    bool ThreadingGiven = false;
    std::u16string Threading;
    // An in-process server's file, when found: its PE header.
    TPeHeader Header;
    int Bits() const { return Header.Valid ? MachineBits(Header.Machine) : 0; }
};

struct TClassView {
    bool Key = false;
    TServer Inproc;  // InprocServer32
    TServer Local;   // LocalServer32
    bool Registered() const { return Inproc.Present || Local.Present; }
    // What COM of this view will start, preferring the in-process server as
    // the add-in's creation does.
    const TServer& Server() const { return Inproc.Present ? Inproc : Local; }
    bool InprocServer() const { return Inproc.Present; }
};

struct TView {
    int Bits;
    REGSAM Flag;
};

std::u16string Lower(std::u16string s) {
    if (!s.empty()) CharLowerBuffW(reinterpret_cast<wchar_t*>(&s[0]), static_cast<DWORD>(s.size()));
    return s;
}

bool StartsWithNoCase(const std::u16string& s, const std::u16string& prefix) {
    return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == Lower(prefix);
}

bool ReadString(HKEY key, const wchar_t* name, std::u16string& value, bool& expand) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
        return false;
    value = U16(buffer.data());
    expand = type == REG_EXPAND_SZ;
    return true;
}

std::u16string Expand(const std::u16string& s) {
    DWORD n = ExpandEnvironmentStringsW(W(s), nullptr, 0);
    if (n == 0) return s;
    std::vector<wchar_t> buffer(n + 1, L'\0');
    ExpandEnvironmentStringsW(W(s), buffer.data(), n + 1);
    return U16(buffer.data());
}

std::u16string Trim(const std::u16string& s) {
    size_t a = 0, b = s.size();
    while (a < b && s[a] == u' ') ++a;
    while (b > a && s[b - 1] == u' ') --b;
    return s.substr(a, b - a);
}

std::u16string SystemFolder() {
    wchar_t buffer[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? U16(buffer) : std::u16string();
}

std::u16string Wow64Folder() {
    wchar_t buffer[MAX_PATH] = {};
    UINT n = GetSystemWow64DirectoryW(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? U16(buffer) : std::u16string();
}

// The file of a server value: an in-process server names a file; a local
// server gives a command line, its program quoted or followed by arguments.
// A name without a folder is looked up as the system looks it up. Paths of
// the other view are read as a program of that bitness would read them.
void LocateServerFile(TServer& server, const std::u16string& value, bool commandLine, const TView& view,
                      const TContext& context) {
    std::u16string v = Trim(value);
    std::vector<std::u16string> candidates;
    if (!v.empty() && v[0] == u'"') {
        const size_t end = v.find(u'"', 1);
        candidates.push_back(v.substr(1, end == std::u16string::npos ? std::u16string::npos : end - 1));
    } else {
        candidates.push_back(v);
        if (commandLine) {
            for (size_t space = v.find(u' '); space != std::u16string::npos; space = v.find(u' ', space + 1))
                candidates.push_back(v.substr(0, space));
        }
    }
    const bool otherView = view.Bits != context.ProcessBits;
    // A 32-bit program sees the 64-bit system folder only with redirection off.
    PVOID redirection = nullptr;
    const bool redirectionOff = otherView && view.Bits == 64 && Wow64DisableWow64FsRedirection(&redirection);
    server.File = candidates.front();
    for (std::u16string file : candidates) {
        if (otherView && view.Bits == 32) {
            const std::u16string system = SystemFolder(), wow64 = Wow64Folder();
            if (!system.empty() && !wow64.empty() && StartsWithNoCase(file, system + u"\\"))
                file = wow64 + file.substr(system.size());
        }
        if (file.find(u'\\') == std::u16string::npos && file.find(u'/') == std::u16string::npos) {
            wchar_t found[MAX_PATH] = {};
            if (SearchPathW(nullptr, W(file), nullptr, MAX_PATH, found, nullptr) > 0) file = U16(found);
        }
        if (FileExists(file)) {
            server.File = file;
            server.FileFound = true;
            // Read here, where a 64-bit file of the other view is in sight.
            if (!commandLine) server.Header = ReadPeHeader(file);
            break;
        }
    }
    if (redirectionOff) Wow64RevertWow64FsRedirection(redirection);
}

TServer ReadServer(HKEY classKey, const wchar_t* subkey, bool commandLine, const TView& view,
                   const TContext& context) {
    TServer server;
    HKEY key = nullptr;
    if (RegOpenKeyExW(classKey, subkey, 0, KEY_READ | view.Flag, &key) != ERROR_SUCCESS) return server;
    std::u16string value;
    bool expand = false;
    if (ReadString(key, nullptr, value, expand) && !Trim(value).empty()) {
        server.Present = true;
        LocateServerFile(server, expand ? Expand(value) : value, commandLine, view, context);
        bool unused = false;
        server.ThreadingGiven = ReadString(key, L"ThreadingModel", server.Threading, unused);
    }
    RegCloseKey(key);
    return server;
}

TClassView ReadClass(HKEY root, const char16_t* classText, const TView& view, const TContext& context) {
    TClassView result;
    HKEY key = nullptr;
    const std::u16string path = u"Software\\Classes\\CLSID\\" + std::u16string(classText);
    if (RegOpenKeyExW(root, W(path), 0, KEY_READ | view.Flag, &key) != ERROR_SUCCESS) return result;
    result.Key = true;
    result.Inproc = ReadServer(key, L"InprocServer32", false, view, context);
    result.Local = ReadServer(key, L"LocalServer32", true, view, context);
    RegCloseKey(key);
    return result;
}

// "для 64-разрядных программ"
std::u16string ForPrograms(int bits) { return u"для " + BitsAdjective(bits, u"ых") + u" программ"; }
// "64-разрядный клиент 1С", "64-разрядного клиента 1С"
std::u16string Client(int bits) { return BitsAdjective(bits, u"ый") + u" клиент 1С"; }
std::u16string ClientOf(int bits) { return BitsAdjective(bits, u"ого") + u" клиента 1С"; }

std::u16string ServerText(const TClassView& c) {
    const TServer& server = c.Server();
    std::u16string bits;
    if (c.InprocServer() && server.Bits() != 0) bits = u" (" + BitsAdjective(server.Bits(), u"ая") + u")";
    return (c.InprocServer() ? u"библиотека " : u"программа ") + server.File + bits +
           (server.FileFound ? u"" : u" (файла нет)");
}

// Why a client of the given bitness cannot load the in-process server file
// found for it, or empty when it can.
std::u16string UnloadableServer(const TServer& server, int clientBits) {
    if (!server.Header.Valid) return u"файл " + server.File + u": " + server.Header.Why;
    const int bits = server.Bits();
    if (bits == 0)
        return u"файл " + server.File + u" собран для другого процессора (машина " + Hex32(server.Header.Machine) +
               u")";
    if (!server.Header.Dll) return u"файл " + server.File + u" — программа, а не библиотека";
    if (bits != clientBits)
        return u"файл " + server.File + u" — " + BitsAdjective(bits, u"ая") + u" библиотека, а " +
               BitsAdjective(clientBits, u"ый") + u" клиент 1С загружает только " + BitsAdjective(clientBits, u"ые");
    return std::u16string();
}

void ReportThreading(TReport& report, const std::u16string& what, const TServer& server) {
    const std::u16string model = Lower(server.Threading);
    if (model == u"apartment" || model == u"both" || model == u"neutral") return;
    if (!server.ThreadingGiven || model.empty() || model == u"single") {
        report.Warning(u"Регистрация: у " + what +
                       u" не указана модель потоков: COM создаст его в главном потоке процесса 1С, а вызовы "
                       u"пойдут через маршалинг. Сообщите поставщику драйвера");
    } else if (model == u"free") {
        report.Warning(u"Регистрация: у " + what +
                       u" модель потоков Free: COM создаст его вне потока 1С, вызовы пойдут через маршалинг и "
                       u"требуют зарегистрированной библиотеки типов драйвера");
    } else {
        report.Warning(u"Регистрация: у " + what + u" неизвестная модель потоков «" + server.Threading + u"»");
    }
}

// Answers the class's registration in this process's view.
TClassView CheckClass(TReport& report, const TContext& context, const char16_t* classText,
                      const std::u16string& name) {
    const TView self{context.ProcessBits, static_cast<REGSAM>(context.ProcessBits == 64 ? KEY_WOW64_64KEY : 0)};
    const TView other{context.ProcessBits == 64 ? 32 : 64,
                      static_cast<REGSAM>(context.ProcessBits == 64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY)};
    const std::u16string what = name + u" " + classText;
    const TClassView here = ReadClass(HKEY_LOCAL_MACHINE, classText, self, context);
    const TClassView there = context.Windows64 ? ReadClass(HKEY_LOCAL_MACHINE, classText, other, context) : TClassView();

    // This process's view: what a client of this bitness meets.
    const std::u16string unloadable = here.InprocServer() && here.Inproc.FileFound
                                          ? UnloadableServer(here.Inproc, self.Bits)
                                          : std::u16string();
    const bool usableHere = here.Registered() && here.Server().FileFound && unloadable.empty();
    // The other view's in-process file, as a client of the other bitness meets it.
    const std::u16string unloadableThere = there.InprocServer() && there.Inproc.FileFound
                                               ? UnloadableServer(there.Inproc, other.Bits)
                                               : std::u16string();
    if (here.Registered()) {
        const TServer& server = here.Server();
        if (!server.FileFound) {
            report.Problem(u"Регистрация: " + what + u" " + ForPrograms(self.Bits) + u" указывает на файл " +
                           server.File + u", а его нет: драйвер удалён или повреждён. Переустановите драйвер ККТ (" +
                           BitsAdjective(self.Bits, u"ый") + u")");
        } else if (!unloadable.empty()) {
            report.Problem(u"Регистрация: " + what + u" зарегистрирован " + ForPrograms(self.Bits) + u", но " +
                           unloadable + u": " + Client(self.Bits) +
                           u" драйвер не создаст. Переустановите драйвер ККТ для " + ClientOf(self.Bits) + u" (" +
                           BitsAdjective(self.Bits, u"ый") + u" драйвер)");
        } else {
            std::u16string line = u"Регистрация: " + what + u" зарегистрирован " + ForPrograms(self.Bits) + u": " +
                                  ServerText(here);
            if (here.InprocServer() && here.Inproc.ThreadingGiven && !here.Inproc.Threading.empty())
                line += u", модель потоков " + here.Inproc.Threading;
            report.Ok(line);
            if (here.InprocServer()) ReportThreading(report, what, here.Inproc);
        }
    } else if (here.Key) {
        report.Problem(u"Регистрация: " + what + u" " + ForPrograms(self.Bits) +
                       u" записан без сервера (нет InprocServer32 и LocalServer32): регистрация повреждена. "
                       u"Переустановите драйвер ККТ");
    } else if (ReadClass(HKEY_CURRENT_USER, classText, self, context).Registered()) {
        report.Warning(u"Регистрация: " + what + u" зарегистрирован " + ForPrograms(self.Bits) +
                       u" только для текущего пользователя Windows: под другими пользователями кассы драйвер не "
                       u"создаётся. Установите драйвер для всех пользователей");
    } else if (!there.Registered()) {
        if (context.Windows64)
            report.Problem(u"Регистрация: " + what + u" не зарегистрирован ни для 64-, ни для 32-разрядных программ: "
                                                    u"драйвер ККТ не установлен. Установите драйвер ККТ той же "
                                                    u"разрядности, что и клиент 1С");
        else
            report.Problem(u"Регистрация: " + what + u" не зарегистрирован: драйвер ККТ не установлен. Установите "
                                                    u"драйвер ККТ");
        return here;
    } else if (!unloadableThere.empty()) {
        report.Problem(u"Регистрация: " + what + u" зарегистрирован только " + ForPrograms(other.Bits) + u", но " +
                       unloadableThere +
                       u": драйвер не создаст клиент 1С ни одной разрядности. Переустановите драйвер ККТ той же "
                       u"разрядности, что и клиент 1С");
        return here;
    } else if (there.InprocServer()) {
        report.Problem(u"Регистрация: " + what + u" зарегистрирован только " + ForPrograms(other.Bits) + u" (" +
                       ServerText(there) + u"): его создаёт только " + Client(other.Bits) + u", а " + Client(self.Bits) +
                       u" — нет. Для " + ClientOf(self.Bits) + u" установите " + BitsAdjective(self.Bits, u"ый") +
                       u" драйвер ККТ; для " + ClientOf(other.Bits) + u" проверяйте кассу " +
                       BitsAdjective(other.Bits, u"ым") + u" kelmorcheck.exe");
        return here;
    } else {
        report.Warning(u"Регистрация: " + what + u" зарегистрирован только " + ForPrograms(other.Bits) +
                       u", но как отдельная программа (" + there.Local.File +
                       u"): её запускают клиенты 1С обеих разрядностей");
        return here;
    }

    if (!context.Windows64) return here;
    // The other view: what a client of the other bitness on this till meets.
    if (there.Registered()) {
        const TServer& server = there.Server();
        if (!server.FileFound)
            report.Warning(u"Регистрация: " + what + u" " + ForPrograms(other.Bits) + u" указывает на файл " +
                           server.File + u", а его нет: " + Client(other.Bits) +
                           u" драйвер не создаст. Если на кассе такой клиент, переустановите " +
                           BitsAdjective(other.Bits, u"ый") + u" драйвер ККТ");
        else if (!unloadableThere.empty())
            report.Warning(u"Регистрация: " + what + u" зарегистрирован и " + ForPrograms(other.Bits) + u", но " +
                           unloadableThere + u": " + Client(other.Bits) +
                           u" драйвер не создаст. Если на кассе такой клиент, переустановите драйвер ККТ для " +
                           ClientOf(other.Bits) + u" (" + BitsAdjective(other.Bits, u"ый") + u" драйвер)");
        else
            report.Ok(u"Регистрация: " + what + u" зарегистрирован и " + ForPrograms(other.Bits) + u": " +
                      ServerText(there));
    } else if (here.Registered() && !usableHere) {
        report.Warning(u"Регистрация: " + what + u" " + ForPrograms(other.Bits) + u" тоже не зарегистрирован: " +
                       Client(other.Bits) + u" его тоже не создаст");
    } else if (here.Registered() && !here.InprocServer()) {
        report.Ok(u"Регистрация: " + what + u" — отдельная программа: её запускают и " +
                  BitsAdjective(other.Bits, u"ые") + u" клиенты 1С");
    } else if (here.Registered()) {
        report.Warning(u"Регистрация: " + what + u" не зарегистрирован " + ForPrograms(other.Bits) + u": " +
                       Client(other.Bits) + u" его не создаст, " + Client(self.Bits) + u" — создаст. Если на кассе " +
                       Client(other.Bits) +
                       (other.Bits == 32 ? u" (частый случай на 64-разрядной Windows)" : u"") +
                       u", установите " + BitsAdjective(other.Bits, u"ый") + u" драйвер ККТ");
    }
    return here;
}

TRegisteredClass Registered(const TClassView& view) {
    TRegisteredClass result;
    result.Registered = view.Registered();
    if (!result.Registered) return result;
    result.ServerFound = view.Server().FileFound;
    result.InprocServer = view.InprocServer();
    result.ServerBits = view.InprocServer() ? view.Inproc.Bits() : 0;
    result.ServerFile = view.Server().File;
    return result;
}

}  // namespace

void CheckRegistration(TReport& report, TContext& context) {
    context.Driver = Registered(CheckClass(report, context, DriverClassText, u"объект драйвера"));
    context.Main = Registered(CheckClass(report, context, MainClassText, u"главный объект драйвера"));
}

}  // namespace kelmorcheck
