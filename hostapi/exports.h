// The three functions the host looks up by name (undecorated, cdecl on i386).
#pragma once

#include "hostapi/v8types.h"

#if defined(_WIN32)
#define V8_EXPORT __declspec(dllexport)
#else
#define V8_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
V8_EXPORT int32_t GetClassObject(const char16_t* name, void** component);
V8_EXPORT const char16_t* GetClassNames();
V8_EXPORT int32_t DestroyObject(void** component);
}
