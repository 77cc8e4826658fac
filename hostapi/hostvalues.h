// Readers of host values (free functions) and the text hand-over. The writers
// are operations of TV8UserObject (userobject.h): they allocate through the
// object's memory manager.
#pragma once

#include <string>
#include <string_view>

#include "hostapi/autovalue.h"
#include "hostapi/v8types.h"

const char16_t* V8GetPWideChar(const V8Variant* V);
std::u16string V8GetWString(const V8Variant* V);
// The same text read in place: the host's own units up to the first zero,
// valid while the host's value is neither written nor freed.
std::u16string_view V8GetWStringView(const V8Variant* V);
int32_t V8GetInt(const V8Variant* V);
int32_t V8ConvInt(const V8Variant* V);
double V8GetDouble(const V8Variant* V);
double V8ConvDouble(const V8Variant* V);
bool V8GetBool(const V8Variant* V);
TAutoValue V8GetVariant(const V8Variant* V);

// Copies a text into a new block of the host's heap; p is null on failure.
bool V8CopyWString(TV8MemoryManager* manager, std::u16string_view text, char16_t** p);

// Double to 32-bit integer, truncating toward zero through 64 bits; NaN and
// values outside the 64-bit range give 0.
int32_t TruncateToInt32(double value);

// Calls into the host's memory manager through its table.
bool V8Alloc(TV8MemoryManager* manager, void** p, uint32_t bytes);
void V8Free(TV8MemoryManager* manager, void** p);
