#include "driver/versioninfo.h"

#include <cstdio>

#include "platform/text.h"

namespace {

uint32_t ReadLittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

TModuleVersion ModuleVersionFromBlock(const uint8_t* block, size_t size) {
    TModuleVersion v;
    // The fixed part starts at byte 40; its file version words lie at 48..55.
    if (!block || size < 56) return v;
    uint32_t ms = ReadLittleEndian32(block + 48);
    uint32_t ls = ReadLittleEndian32(block + 52);
    v.Major = static_cast<uint16_t>(ms >> 16);
    v.Minor = static_cast<uint16_t>(ms & 0xFFFF);
    v.Release = static_cast<uint16_t>(ls >> 16);
    v.Build = static_cast<uint16_t>(ls & 0xFFFF);
    return v;
}

std::u16string ModuleVersionText(const TModuleVersion& v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d.%d.%d.%d", v.Major, v.Minor, v.Release, v.Build);
    return text::FromUtf8(buffer);
}

std::u16string GetModuleVersionText() { return ModuleVersionText(GetModuleVersion()); }
