// The library's own file version, read from its version resource.
#pragma once

#include <cstdint>
#include <string>

struct TModuleVersion {
    uint16_t Major = 0, Minor = 0, Release = 0, Build = 0;
};

// Bytes 48..55 of a VS_VERSIONINFO block split into the four numbers; zeros
// when the block is shorter than 56 bytes.
TModuleVersion ModuleVersionFromBlock(const uint8_t* block, size_t size);
TModuleVersion GetModuleVersion();
std::u16string GetModuleVersionText();
// The four numbers as "%d.%d.%d.%d".
std::u16string ModuleVersionText(const TModuleVersion& v);
