// The PE header of a program or library file, read without loading it: the
// add-in and the driver's in-process server are checked for bitness before
// anything loads them, so that a file of the other bitness is named as such
// and not as the loader's "not a valid application".
#include <cstring>

#include "kelmorcheck/checks.h"

namespace kelmorcheck {

namespace {

constexpr uint16_t MachineI386 = 0x014C;
constexpr uint16_t MachineAmd64 = 0x8664;

bool ReadAt(HANDLE file, uint32_t offset, void* buffer, DWORD size) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    DWORD got = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && ReadFile(file, buffer, size, &got, nullptr) &&
           got == size;
}

}  // namespace

TPeHeader ReadPeHeader(const std::u16string& path) {
    TPeHeader header;
    HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        header.Why = u"файл не открывается: " + SystemText(GetLastError());
        return header;
    }
    unsigned char dos[64] = {};
    unsigned char pe[24] = {};
    uint32_t peOffset = 0;
    if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        header.Why = u"это не программа и не библиотека Windows (нет заголовка MZ)";
    } else {
        std::memcpy(&peOffset, dos + 0x3C, 4);
        if (!ReadAt(file, peOffset, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0) {
            header.Why = u"это не библиотека Windows (нет заголовка PE)";
        } else {
            uint16_t characteristics = 0;
            std::memcpy(&header.Machine, pe + 4, 2);
            std::memcpy(&characteristics, pe + 22, 2);
            header.Dll = (characteristics & 0x2000) != 0;  // IMAGE_FILE_DLL
            header.Valid = true;
        }
    }
    CloseHandle(file);
    return header;
}

int MachineBits(uint16_t machine) {
    switch (machine) {
        case MachineI386: return 32;
        case MachineAmd64: return 64;
        default: return 0;
    }
}

}  // namespace kelmorcheck
