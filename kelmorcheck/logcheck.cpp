// Check 4: the add-in's log file e:\lll.txt. Nothing is written into it and
// it is not created. It is never opened for writing, not even for a moment:
// the add-in opens it for reading and writing letting others only read, so
// any other handle with write access, whatever its sharing, makes the add-in's
// open fail with a sharing violation, and a running client of 1C then logs
// nothing until its next try. The tool opens it for reading with every kind of
// sharing, which no open of the add-in conflicts with, in either order, and
// reads the right to write from the file's attribute and access rights.
// (So a running client that holds the file cannot be seen from here: telling
// it would need an open that shuts the add-in out.)
#include <vector>

#include "kelmorcheck/checks.h"

namespace kelmorcheck {

namespace {

constexpr uint64_t WarnSize = 1ull << 30;  // 1 GiB: the log is never rotated

std::u16string SizeText(uint64_t bytes) {
    const uint64_t mib = bytes >> 20;
    if (mib >= 1024) {
        const uint64_t tenths = (bytes * 10) >> 30;
        return Decimal(tenths / 10) + u"," + Decimal(tenths % 10) + u" ГиБ";
    }
    if (mib > 0) return Decimal(mib) + u" МиБ";
    return Decimal(bytes) + u" байт";
}

std::u16string DriveKind(UINT type) {
    switch (type) {
        case DRIVE_REMOVABLE: return u"съёмный диск";
        case DRIVE_FIXED: return u"жёсткий диск";
        case DRIVE_REMOTE: return u"сетевой диск";
        case DRIVE_CDROM: return u"привод компакт-дисков";
        case DRIVE_RAMDISK: return u"RAM-диск";
        default: return u"диск";
    }
}

enum class TAnswer { Yes, No, Unknown };

// Whether this process's user may open the file as the add-in does (read and
// write), by the file's access rights; the handle needs only READ_CONTROL.
TAnswer MayReadAndWrite(HANDLE file) {
    DWORD size = 0;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                      DACL_SECURITY_INFORMATION;
    GetKernelObjectSecurity(file, what, nullptr, 0, &size);
    if (size == 0) return TAnswer::Unknown;
    std::vector<unsigned char> descriptor(size);
    if (!GetKernelObjectSecurity(file, what, descriptor.data(), size, &size)) return TAnswer::Unknown;
    HANDLE process = nullptr, token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process)) return TAnswer::Unknown;
    const BOOL duplicated = DuplicateToken(process, SecurityImpersonation, &token);
    CloseHandle(process);
    if (!duplicated) return TAnswer::Unknown;
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    MapGenericMask(&access, &mapping);
    PRIVILEGE_SET privileges = {};
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL allowed = FALSE;
    const BOOL checked = AccessCheck(descriptor.data(), token, access, &mapping, &privileges, &privilegesSize,
                                     &granted, &allowed);
    CloseHandle(token);
    if (!checked) return TAnswer::Unknown;
    return allowed ? TAnswer::Yes : TAnswer::No;
}

}  // namespace

void CheckLog(TReport& report) {
    const std::u16string area = u"Журнал: ";
    const std::u16string path = LogPath;
    const std::u16string root = u"E:\\";
    const std::u16string without = u"надстройка работает без журнала, а причину ошибки драйвера потом не найти";
    const UINT type = GetDriveTypeW(W(root));
    if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) {
        report.Warning(area + u"надстройка пишет журнал в " + path + u", а диска E: нет: " + without +
                       u". Если журнал нужен, подключите диск E: (например, subst E: C:\\KelmorLog)");
        return;
    }
    if ((type == DRIVE_CDROM || type == DRIVE_REMOVABLE) &&
        !GetVolumeInformationW(W(root), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0)) {
        report.Warning(area + u"надстройка пишет журнал в " + path + u", а диск E: — " + DriveKind(type) +
                       u" без носителя: " + without + u". Если журнал нужен, подключите на E: папку на жёстком диске");
        return;
    }
    report.Ok(area + u"надстройка пишет журнал в " + path + u" (кодировка Windows-1251); диск E: есть (" +
              DriveKind(type) + u")");

    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            report.Warning(area + path + u" недоступен: " + SystemText(error) + u"; " + without);
            return;
        }
        // The add-in creates the file on its first line: try a file of our
        // own in the same folder, which goes away when closed.
        const std::u16string probe = root + u"kelmorcheck-" + Decimal(GetCurrentProcessId()) + u".tmp";
        HANDLE h = CreateFileW(W(probe), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            report.Warning(area + u"файла " + path + u" ещё нет, а в " + root + u" нельзя создать файл: " +
                           SystemText(GetLastError()) + u"; " + without +
                           u". Дайте пользователю кассы право записи в " + root);
            return;
        }
        CloseHandle(h);
        report.Ok(area + u"файла " + path + u" ещё нет; надстройка сможет создать его в " + root);
        return;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        report.Warning(area + path + u" — папка, а не файл: " + without + u". Переименуйте эту папку");
        return;
    }
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const std::u16string rights = u". Снимите с файла «только чтение» и дайте пользователю кассы право записи";
    HANDLE h = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // The add-in lets others read: this is some other program, which
        // shuts the add-in out as well.
        if (error == ERROR_SHARING_VIOLATION)
            report.Warning(area + path + u" занят другой программой, которая не даёт его даже читать (архиватор, "
                                         u"антивирус, редактор): пока она держит файл, " + without +
                           u". Закройте эту программу");
        else
            report.Warning(area + path + u" не открывается: " + SystemText(error) + u"; " + without + rights);
    } else {
        const TAnswer writable = MayReadAndWrite(h);
        CloseHandle(h);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            report.Warning(area + path + u" помечен «только чтение»: " + without + rights);
        else if (writable == TAnswer::No)
            report.Warning(area + u"у пользователя кассы нет права записи в " + path + u": " + without + rights);
        else
            report.Ok(area + path + u" доступен для дописывания (проверены атрибуты" +
                      (writable == TAnswer::Yes ? u" и права" : u"") + u", файл не открывался для записи), размер " +
                      SizeText(size));
    }
    if (size > WarnSize)
        report.Warning(area + path + u" занимает " + SizeText(size) +
                       u" (больше 1 ГиБ): надстройка не делит журнал на части, он только растёт. Закройте 1С и "
                       u"перенесите файл в архив или удалите его");
}

}  // namespace kelmorcheck
