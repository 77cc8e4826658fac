#include "tests/support/fakehost.h"

#include <cstdlib>
#include <cstring>

namespace fakehost {

namespace {

// Fresh blocks are filled with this byte so that a missing terminator shows.
constexpr unsigned char FreshFill = 0xCD;

}  // namespace

// --- Memory manager ---------------------------------------------------------

const TV8MemoryManagerVtbl TFakeMemoryManager::Vtbl = {
    nullptr,
    &TFakeMemoryManager::AllocMemory,
    &TFakeMemoryManager::FreeMemory,
};

TFakeMemoryManager::TFakeMemoryManager() {
    FFace.Base.vtbl = &Vtbl;
    FFace.Owner = this;
}

TFakeMemoryManager::~TFakeMemoryManager() {
    for (auto& block : FBlocks) std::free(block.first);
}

size_t TFakeMemoryManager::LiveBytes() const {
    size_t total = 0;
    for (const auto& block : FBlocks) total += block.second;
    return total;
}

size_t TFakeMemoryManager::BlockSize(const void* block) const {
    auto it = FBlocks.find(const_cast<void*>(block));
    return it != FBlocks.end() ? it->second : 0;
}

void* TFakeMemoryManager::HostAlloc(size_t bytes) {
    void* block = std::malloc(bytes != 0 ? bytes : 1);
    if (block == nullptr) return nullptr;
    std::memset(block, FreshFill, bytes != 0 ? bytes : 1);
    FBlocks[block] = bytes;
    return block;
}

void TFakeMemoryManager::HostFree(void* block) {
    auto it = FBlocks.find(block);
    if (block == nullptr || it == FBlocks.end()) {
        ++FBadFrees;
        return;
    }
    std::free(block);
    FBlocks.erase(it);
}

V8Bool V8_CALL TFakeMemoryManager::AllocMemory(TV8MemoryManager* self, void** pMemory,
                                              uint32_t ulCountByte) {
    TFakeMemoryManager* owner = reinterpret_cast<TFace*>(self)->Owner;
    ++owner->FAllocCalls;
    if (pMemory == nullptr) return false;
    if (owner->FRefuseNext > 0) {
        --owner->FRefuseNext;
        ++owner->FRefused;
        return false;
    }
    void* block = owner->HostAlloc(ulCountByte);
    *pMemory = block;
    return block != nullptr;
}

void V8_CALL TFakeMemoryManager::FreeMemory(TV8MemoryManager* self, void** pMemory) {
    TFakeMemoryManager* owner = reinterpret_cast<TFace*>(self)->Owner;
    ++owner->FFreeCalls;
    if (pMemory == nullptr) {
        ++owner->FBadFrees;
        return;
    }
    owner->HostFree(*pMemory);
}

// --- Connection -------------------------------------------------------------

const TV8AddInDefBaseVtbl TFakeConnection::Vtbl = {
    nullptr,
    &TFakeConnection::AddError,
    &TFakeConnection::Read,
    &TFakeConnection::Write,
    &TFakeConnection::RegisterProfileAs,
    &TFakeConnection::SetEventBufferDepth,
    &TFakeConnection::GetEventBufferDepth,
    &TFakeConnection::ExternalEvent,
    &TFakeConnection::CleanEventBuffer,
    &TFakeConnection::SetStatusLine,
    &TFakeConnection::ResetStatusLine,
    &TFakeConnection::GetPlatformInfo,
    &TFakeConnection::Alert,
};

TFakeConnection::TFakeConnection() {
    FFace.Base.vtbl = &Vtbl;
    FFace.Owner = this;
}

TFakeConnection* TFakeConnection::OwnerOf(TV8AddInDefBase* self) {
    return reinterpret_cast<TFace*>(self)->Owner;
}

V8Bool V8_CALL TFakeConnection::AddError(TV8AddInDefBase* self, uint16_t wcode,
                                         const char16_t* source, const char16_t* descr,
                                         int32_t scode) {
    TErrorReport report;
    report.wcode = wcode;
    report.source = source != nullptr ? source : u"";
    report.descr = descr != nullptr ? descr : u"";
    report.scode = scode;
    OwnerOf(self)->FErrors.push_back(report);
    return true;
}

V8Bool V8_CALL TFakeConnection::Read(TV8AddInDefBase* self, char16_t*, V8Variant*, int32_t*,
                                     char16_t**) {
    ++OwnerOf(self)->FOtherCalls;
    return false;
}

V8Bool V8_CALL TFakeConnection::Write(TV8AddInDefBase* self, char16_t*, V8Variant*) {
    ++OwnerOf(self)->FOtherCalls;
    return false;
}

V8Bool V8_CALL TFakeConnection::RegisterProfileAs(TV8AddInDefBase* self, char16_t*) {
    ++OwnerOf(self)->FOtherCalls;
    return false;
}

V8Bool V8_CALL TFakeConnection::SetEventBufferDepth(TV8AddInDefBase* self, int32_t) {
    ++OwnerOf(self)->FOtherCalls;
    return false;
}

int32_t V8_CALL TFakeConnection::GetEventBufferDepth(TV8AddInDefBase* self) {
    ++OwnerOf(self)->FOtherCalls;
    return 0;
}

V8Bool V8_CALL TFakeConnection::ExternalEvent(TV8AddInDefBase* self, char16_t*, char16_t*,
                                              char16_t*) {
    ++OwnerOf(self)->FOtherCalls;
    return false;
}

void V8_CALL TFakeConnection::CleanEventBuffer(TV8AddInDefBase* self) { ++OwnerOf(self)->FOtherCalls; }

V8Bool V8_CALL TFakeConnection::SetStatusLine(TV8AddInDefBase* self, char16_t*) {
    ++OwnerOf(self)->FOtherCalls;
    return false;
}

void V8_CALL TFakeConnection::ResetStatusLine(TV8AddInDefBase* self) { ++OwnerOf(self)->FOtherCalls; }

const TV8AppInfo* V8_CALL TFakeConnection::GetPlatformInfo(TV8AddInDefBase* self) {
    ++OwnerOf(self)->FOtherCalls;
    return nullptr;
}

V8Bool V8_CALL TFakeConnection::Alert(TV8AddInDefBase* self, const char16_t*) {
    ++OwnerOf(self)->FOtherCalls;
    return false;
}

// --- Host values ------------------------------------------------------------

V8Variant OfType(uint32_t vt) {
    V8Variant v;
    std::memset(static_cast<void*>(&v), 0, sizeof(v));
    v.vt = vt;
    return v;
}

V8Variant Empty() { return OfType(VTYPE_EMPTY); }
V8Variant Null() { return OfType(VTYPE_NULL); }

V8Variant I1(int8_t x) {
    V8Variant v = OfType(VTYPE_I1);
    v.VarEnum.i8Val = x;
    return v;
}

V8Variant I2(int16_t x) {
    V8Variant v = OfType(VTYPE_I2);
    v.VarEnum.shortVal = x;
    return v;
}

V8Variant I4(int32_t x) {
    V8Variant v = OfType(VTYPE_I4);
    v.VarEnum.lVal = x;
    return v;
}

V8Variant UI1(uint8_t x) {
    V8Variant v = OfType(VTYPE_UI1);
    v.VarEnum.ui8Val = x;
    return v;
}

V8Variant UI2(uint16_t x) {
    V8Variant v = OfType(VTYPE_UI2);
    v.VarEnum.ushortVal = x;
    return v;
}

V8Variant UI4(uint32_t x) {
    V8Variant v = OfType(VTYPE_UI4);
    v.VarEnum.ulVal = x;
    return v;
}

V8Variant R4(float x) {
    V8Variant v = OfType(VTYPE_R4);
    v.VarEnum.fltVal = x;
    return v;
}

V8Variant R8(double x) {
    V8Variant v = OfType(VTYPE_R8);
    v.VarEnum.dblVal = x;
    return v;
}

V8Variant Date(double x) {
    V8Variant v = OfType(VTYPE_DATE);
    v.VarEnum.date = x;
    return v;
}

V8Variant Error(int32_t x) {
    V8Variant v = OfType(VTYPE_ERROR);
    v.VarEnum.errCode = x;
    return v;
}

V8Variant Bool(bool x) {
    V8Variant v = OfType(VTYPE_BOOL);
    v.VarEnum.bVal = x ? 1 : 0;
    return v;
}

V8Variant WString(TFakeMemoryManager& mm, const std::u16string& x) {
    V8Variant v = OfType(VTYPE_PWSTR);
    auto* block = static_cast<char16_t*>(mm.HostAlloc((x.size() + 1) * sizeof(char16_t)));
    if (block != nullptr) {
        if (!x.empty()) std::memcpy(block, x.data(), x.size() * sizeof(char16_t));
        block[x.size()] = 0;
    }
    v.VarEnum.vtRecWideString.pwstrVal = block;
    v.VarEnum.vtRecWideString.wstrLen = static_cast<uint32_t>(x.size());
    return v;
}

V8Variant PString(TFakeMemoryManager& mm, const std::string& x) {
    V8Variant v = OfType(VTYPE_PSTR);
    auto* block = static_cast<char*>(mm.HostAlloc(x.size() + 1));
    if (block != nullptr) {
        if (!x.empty()) std::memcpy(block, x.data(), x.size());
        block[x.size()] = 0;
    }
    v.VarEnum.vtRecString.pstrVal = block;
    v.VarEnum.vtRecString.strLen = static_cast<uint32_t>(x.size());
    return v;
}

void Release(TFakeMemoryManager& mm, V8Variant& v) {
    const uint32_t t = v.vt & 0xFFF;
    if ((t == VTYPE_PSTR || t == VTYPE_PWSTR || t == VTYPE_BLOB) &&
        v.VarEnum.vtRecString.pstrVal != nullptr)
        mm.HostFree(v.VarEnum.vtRecString.pstrVal);
    std::memset(static_cast<void*>(&v), 0, sizeof(v));
}

uint32_t TypeOf(const V8Variant& v) { return v.vt; }

std::u16string ReadWString(const V8Variant& v) {
    const char16_t* p = v.VarEnum.vtRecWideString.pwstrVal;
    if (p == nullptr) return std::u16string();
    return std::u16string(p, v.VarEnum.vtRecWideString.wstrLen);
}

std::string ReadBytes(const V8Variant& v) {
    const char* p = v.VarEnum.vtRecString.pstrVal;
    if (p == nullptr) return std::string();
    return std::string(p, v.VarEnum.vtRecString.strLen);
}

bool IsAllZero(const V8Variant& v) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&v);
    for (size_t i = 0; i < sizeof(v); ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

}  // namespace fakehost
