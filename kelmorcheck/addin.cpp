// Check 1: the add-in DLL itself. Its PE header is read before it is loaded,
// so that a DLL of the other bitness is reported as such and not as the
// loader's "not a valid application".
#include <cstring>
#include <vector>

#include "kelmorcheck/checks.h"

namespace kelmorcheck {

namespace {

template <class T>
T Export(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The file version of the module's version resource, read as the add-in reads
// its own: resource #1 of type RT_VERSION, the fixed part at byte 40.
bool ModuleVersion(HMODULE module, std::u16string& version) {
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    if (info == nullptr) return false;
    HGLOBAL data = LoadResource(module, info);
    const auto* bytes = data != nullptr ? static_cast<const unsigned char*>(LockResource(data)) : nullptr;
    if (bytes == nullptr || SizeofResource(module, info) < 56) return false;
    uint32_t signature = 0, high = 0, low = 0;
    std::memcpy(&signature, bytes + 40, 4);
    std::memcpy(&high, bytes + 48, 4);
    std::memcpy(&low, bytes + 52, 4);
    if (signature != 0xFEEF04BDu) return false;
    version = Decimal(high >> 16) + u"." + Decimal(high & 0xFFFF) + u"." + Decimal(low >> 16) + u"." +
              Decimal(low & 0xFFFF);
    return true;
}

std::vector<std::u16string> SplitNames(const char16_t* names) {
    std::vector<std::u16string> result;
    if (names == nullptr || *names == 0) return result;
    std::u16string one;
    for (const char16_t* p = names; *p; ++p) {
        if (*p == u'|') {
            result.push_back(one);
            one.clear();
        } else {
            one += *p;
        }
    }
    result.push_back(one);
    return result;
}

}  // namespace

void CheckAddin(TReport& report, TContext& context) {
    const std::u16string& path = context.DllPath;
    const std::u16string client = BitsAdjective(context.ProcessBits, u"ый") + u" клиент 1С";
    if (!FileExists(path)) {
        report.Problem(u"Надстройка: файла " + path +
                       u" нет. Положите KelmorTarvik1CNative.dll из поставки рядом с kelmorcheck.exe или укажите "
                       u"путь к ней: kelmorcheck.exe ПУТЬ");
        return;
    }
    const TPeHeader header = ReadPeHeader(path);
    if (!header.Valid) {
        report.Problem(u"Надстройка: " + path + u": " + header.Why + u". Возьмите файл из поставки заново");
        return;
    }
    const int bits = MachineBits(header.Machine);
    if (bits == 0) {
        report.Problem(u"Надстройка: " + path + u" собрана для другого процессора (машина " + Hex32(header.Machine) +
                       u"): клиент 1С её не загрузит. Возьмите файл из поставки заново");
        return;
    }
    if (!header.Dll) {
        report.Problem(u"Надстройка: " + path + u" — программа, а не библиотека: это не внешняя компонента");
        return;
    }
    if (bits != context.ProcessBits) {
        const std::u16string other = BitsAdjective(bits, u"ый") + u" клиент 1С";
        report.Problem(u"Надстройка: " + path + u" — " + BitsAdjective(bits, u"ая") + u" библиотека, а эта программа " +
                       BitsAdjective(context.ProcessBits, u"ая") + u": такую надстройку загружает только " + other +
                       u". Проверьте её " + BitsAdjective(bits, u"ым") + u" kelmorcheck.exe (из папки win" +
                       (bits == 64 ? u"64" : u"32") + u"), а для " + BitsAdjective(context.ProcessBits, u"ого") +
                       u" клиента 1С возьмите " + BitsAdjective(context.ProcessBits, u"ую") +
                       u" KelmorTarvik1CNative.dll");
        return;
    }
    report.Ok(u"Надстройка: " + path + u" — " + BitsAdjective(bits, u"ая") + u" библиотека, её загружает " + client);

    context.Module = LoadLibraryW(W(path));
    if (context.Module == nullptr) {
        report.Problem(u"Надстройка: не загружается: " + SystemText(GetLastError()) +
                       u". Возьмите файл из поставки заново");
        return;
    }
    report.Ok(u"Надстройка: загружается");

    context.GetClassObject = Export<TGetClassObject>(context.Module, "GetClassObject");
    context.GetClassNames = Export<TGetClassNames>(context.Module, "GetClassNames");
    context.DestroyObject = Export<TDestroyObject>(context.Module, "DestroyObject");
    std::u16string missing;
    if (context.GetClassObject == nullptr) missing += u" GetClassObject";
    if (context.GetClassNames == nullptr) missing += u" GetClassNames";
    if (context.DestroyObject == nullptr) missing += u" DestroyObject";
    bool usable = true;
    if (!missing.empty()) {
        report.Problem(u"Надстройка: нет функций" + missing +
                       u": это не внешняя компонента 1С или файл повреждён. Возьмите KelmorTarvik1CNative.dll из "
                       u"поставки");
        usable = false;
    } else {
        report.Ok(u"Надстройка: есть функции GetClassObject, GetClassNames и DestroyObject");
        const char16_t* names = context.GetClassNames();
        const std::vector<std::u16string> list = SplitNames(names);
        bool found = false;
        std::u16string shown;
        for (const auto& name : list) {
            found = found || name == ClassName;
            shown += (shown.empty() ? u"«" : u", «") + name + u"»";
        }
        if (found) {
            report.Ok(u"Надстройка: предлагает класс «" + std::u16string(ClassName) + u"»");
        } else {
            report.Problem(u"Надстройка: класса «" + std::u16string(ClassName) + u"» нет (предлагает: " +
                           (shown.empty() ? u"ничего" : shown) +
                           u"): это другая внешняя компонента. Возьмите KelmorTarvik1CNative.dll из поставки");
            usable = false;
        }
    }
    std::u16string version;
    if (ModuleVersion(context.Module, version))
        report.Ok(u"Надстройка: версия модуля " + version);
    else
        report.Warning(u"Надстройка: нет ресурса версии; в описании драйвера её версия будет 0.0.0.0");
    context.AddinUsable = usable;
}

}  // namespace kelmorcheck
