// Check 4: the add-in's log file e:\lll.txt. Nothing is written into it and
// it is not created: the file is opened as the add-in opens it (read and
// write, others may only read) and closed again at once. The add-in refuses a
// second writer, so a client of 1C that holds the file shows up here.
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
    // The add-in's own way of opening it, but never creating it.
    HANDLE h = CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION)
            report.Warning(area + path + u" уже открыт для записи другой программой, скорее всего запущенным клиентом "
                                         u"1С с этой надстройкой: пока он открыт, другие процессы (второй клиент 1С, "
                                         u"обработка обслуживания) пишут без журнала. Это нормально, пока работает "
                                         u"один клиент 1С");
        else
            report.Warning(area + path + u" не открывается для записи: " + SystemText(error) + u"; " + without +
                           u". Снимите с файла «только чтение» и дайте пользователю кассы право записи");
    } else {
        CloseHandle(h);
        report.Ok(area + path + u" открывается для дописывания, размер " + SizeText(size));
    }
    if (size > WarnSize)
        report.Warning(area + path + u" занимает " + SizeText(size) +
                       u" (больше 1 ГиБ): надстройка не делит журнал на части, он только растёт. Закройте 1С и "
                       u"перенесите файл в архив или удалите его");
}

}  // namespace kelmorcheck
