#include "hostapi/userobject.h"

#include <cstring>
#include <vector>

#include "hostapi/hostvalues.h"

namespace {

// The release entry of a COM-style function table (third slot).
using TReleaseFn = uint32_t(V8_CALL*)(void* self);

void ReleaseInterface(void* object) {
    auto* table = *static_cast<void* const* const*>(object);
    auto release = reinterpret_cast<TReleaseFn>(table[2]);
    release(object);
}

// Allocates bytes in the host's heap and copies them; p stays null when the
// host refuses the block or there is no memory manager.
bool AllocCopy(TV8MemoryManager* manager, const void* data, size_t bytes, size_t blockBytes,
               void*& p) {
    p = nullptr;
    if (manager == nullptr || blockBytes > UINT32_MAX) return false;
    void* block = nullptr;
    if (!V8Alloc(manager, &block, static_cast<uint32_t>(blockBytes)) || block == nullptr) return false;
    if (bytes != 0) std::memcpy(block, data, bytes);
    p = block;
    return true;
}

}  // namespace

void TV8UserObject::V8ClearVar(V8Variant* V) {
    if (V == nullptr) return;
    const uint32_t t = V->vt & 0xFFF;
    if (t == VTYPE_PSTR || t == VTYPE_PWSTR || t == VTYPE_BLOB) {
        void* block = V->VarEnum.vtRecString.pstrVal;
        if (block != nullptr && V8MM != nullptr) V8Free(V8MM, &block);
    } else if (t == VTYPE_INTERFACE) {
        void* object = V->VarEnum.vtRecInterface.pInterfaceVal;
        V->VarEnum.vtRecInterface.pInterfaceVal = nullptr;
        if (object != nullptr) ReleaseInterface(object);
    }
    // In three parts: i386 builds make one clear of the whole record a
    // string instruction, which takes longer to start than these stores.
    char* record = reinterpret_cast<char*>(V);
    static_assert(sizeof(V8Variant) == 48, "three parts of 16 bytes");
    std::memset(record, 0, 16);
    std::memset(record + 16, 0, 16);
    std::memset(record + 32, 0, 16);
}

bool TV8UserObject::V8SetEmpty(V8Variant* V) {
    V8ClearVar(V);
    return true;
}

bool TV8UserObject::V8SetNULL(V8Variant* V) {
    if (V == nullptr) return true;
    V8ClearVar(V);
    V->vt = VTYPE_NULL;
    return true;
}

bool TV8UserObject::V8SetString(V8Variant* V, const std::string& Value) {
    return V8SetPChar(V, Value.c_str());
}

bool TV8UserObject::V8SetPChar(V8Variant* V, const char* Value) {
    if (Value == nullptr || V == nullptr) return true;
    // Copied first: the text may be the record's own payload, freed below.
    const std::string copy(Value);
    const size_t n = copy.size();
    V8ClearVar(V);
    V->vt = VTYPE_PSTR;
    void* block = nullptr;
    if (!AllocCopy(V8MM, copy.c_str(), n + 1, n + 1, block)) return false;
    V->VarEnum.vtRecString.pstrVal = static_cast<char*>(block);
    V->VarEnum.vtRecString.strLen = static_cast<uint32_t>(n);
    return true;
}

bool TV8UserObject::V8SetWString(V8Variant* V, std::u16string_view Value) {
    if (V == nullptr) return false;
    const size_t n = Value.size();
    V8ClearVar(V);
    V->vt = VTYPE_PWSTR;
    void* block = nullptr;
    if (n > (UINT32_MAX - 2) / 2 || !AllocCopy(V8MM, Value.data(), 2 * n, 2 * n + 2, block))
        return false;
    static_cast<char16_t*>(block)[n] = 0;
    V->VarEnum.vtRecWideString.pwstrVal = static_cast<char16_t*>(block);
    V->VarEnum.vtRecWideString.wstrLen = static_cast<uint32_t>(n);
    return true;
}

bool TV8UserObject::V8SetPWideChar(V8Variant* V, const char16_t* Value) {
    if (Value == nullptr || V == nullptr) return true;
    // Copied first: the text may be the record's own payload.
    return V8SetWString(V, std::u16string(Value));
}

bool TV8UserObject::V8SetBlob(V8Variant* V, const void* Value, int32_t Length) {
    if (Value == nullptr || V == nullptr) return true;
    // Copied first: the bytes may be the record's own payload.
    const std::vector<char> copy =
        Length > 0 ? std::vector<char>(static_cast<const char*>(Value),
                                       static_cast<const char*>(Value) + Length)
                   : std::vector<char>();
    V8ClearVar(V);
    V->vt = VTYPE_BLOB;
    if (Length < 0) return false;  // no such block
    void* block = nullptr;
    if (!AllocCopy(V8MM, copy.data(), copy.size(), copy.size(), block)) return false;
    V->VarEnum.vtRecString.pstrVal = static_cast<char*>(block);
    V->VarEnum.vtRecString.strLen = static_cast<uint32_t>(copy.size());
    return true;
}

void TV8UserObject::V8SetDouble(V8Variant* V, double Value) {
    if (V == nullptr) return;
    V8ClearVar(V);
    V->vt = VTYPE_R8;
    V->VarEnum.dblVal = Value;
}

void TV8UserObject::V8SetInt(V8Variant* V, int32_t Value) {
    if (V == nullptr) return;
    V8ClearVar(V);
    V->vt = VTYPE_I4;
    V->VarEnum.lVal = Value;
}

void TV8UserObject::V8SetInt64(V8Variant* V, int64_t Value) {
    V8SetDouble(V, static_cast<double>(Value));
}

void TV8UserObject::V8SetUInt(V8Variant* V, uint32_t Value) {
    if (V == nullptr) return;
    if (Value > 2147483647u) {
        V8SetDouble(V, static_cast<double>(Value));
        return;
    }
    V8ClearVar(V);
    V->vt = VTYPE_UI4;
    V->VarEnum.ulVal = Value;
}

void TV8UserObject::V8SetUInt64(V8Variant* V, uint64_t Value) {
    V8SetDouble(V, static_cast<double>(Value));
}

void TV8UserObject::V8SetDate(V8Variant* V, double Value) {
    if (V == nullptr) return;
    V8ClearVar(V);
    V->vt = VTYPE_DATE;
    V->VarEnum.date = Value;
}

void TV8UserObject::V8SetBool(V8Variant* V, bool Value) {
    if (V == nullptr) return;
    V8ClearVar(V);
    V->vt = VTYPE_BOOL;
    V->VarEnum.bVal = Value ? 1 : 0;
}
