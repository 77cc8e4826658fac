// The file version from the version resource of this library's own module,
// not of the program that loaded it.
#include <windows.h>

#include "driver/versioninfo.h"

namespace {

HMODULE OwnModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&OwnModule), &module))
        return nullptr;
    return module;
}

}  // namespace

TModuleVersion GetModuleVersion() {
    TModuleVersion v;
    HMODULE module = OwnModule();
    if (!module) return v;
    HRSRC info = FindResourceW(module, L"#1", MAKEINTRESOURCEW(16) /* RT_VERSION */);
    if (!info) return v;
    HGLOBAL loaded = LoadResource(module, info);
    if (!loaded) return v;
    const void* data = LockResource(loaded);
    if (data) v = ModuleVersionFromBlock(static_cast<const uint8_t*>(data), SizeofResource(module, info));
    FreeResource(loaded);
    return v;
}
