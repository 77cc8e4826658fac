// A stand-in for the 1C:Enterprise host in tests: its memory manager and its
// connection object laid out as the host lays them out (function tables with
// the host's calling convention), plus helpers to build and read host values.
// Plain C++17, shared by the native tests and the Windows host simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hostapi/v8types.h"

namespace fakehost {

// The host's IMemoryManager. Counts live blocks and bytes, can refuse the
// next allocations, and checks that FreeMemory receives only its own blocks.
class TFakeMemoryManager {
public:
    TFakeMemoryManager();
    ~TFakeMemoryManager();  // frees whatever is still live
    TFakeMemoryManager(const TFakeMemoryManager&) = delete;
    TFakeMemoryManager& operator=(const TFakeMemoryManager&) = delete;

    // What the library receives through SetMemManager.
    TV8MemoryManager* Manager() { return &FFace.Base; }

    size_t LiveBlocks() const { return FBlocks.size(); }
    size_t LiveBytes() const;
    size_t AllocCalls() const { return FAllocCalls; }
    size_t FreeCalls() const { return FFreeCalls; }
    size_t RefusedCalls() const { return FRefused; }
    // FreeMemory calls with a null address, a null block or a block this
    // manager never gave out (or already took back).
    size_t BadFrees() const { return FBadFrees; }
    bool Owns(const void* block) const { return FBlocks.count(const_cast<void*>(block)) != 0; }
    size_t BlockSize(const void* block) const;  // 0 when not live

    // The next n calls of AllocMemory answer false.
    void RefuseNext(int n) { FRefuseNext = n; }

    // Allocations made by the fake host itself (its own argument values);
    // never refused, but counted like any other block.
    void* HostAlloc(size_t bytes);
    void HostFree(void* block);

private:
    struct TFace {
        TV8MemoryManager Base;
        TFakeMemoryManager* Owner;
    };
    static V8Bool V8_CALL AllocMemory(TV8MemoryManager* self, void** pMemory, uint32_t ulCountByte);
    static void V8_CALL FreeMemory(TV8MemoryManager* self, void** pMemory);
    static const TV8MemoryManagerVtbl Vtbl;

    TFace FFace;
    std::map<void*, size_t> FBlocks;
    size_t FAllocCalls = 0;
    size_t FFreeCalls = 0;
    size_t FRefused = 0;
    size_t FBadFrees = 0;
    int FRefuseNext = 0;
};

// One AddError call as the host received it.
struct TErrorReport {
    uint16_t wcode = 0;
    std::u16string source;
    std::u16string descr;
    int32_t scode = 0;
};

// The host's IAddInDefBase (all thirteen slots). Records every AddError; the
// other slots answer false / 0 and are counted as unexpected.
class TFakeConnection {
public:
    TFakeConnection();
    TFakeConnection(const TFakeConnection&) = delete;
    TFakeConnection& operator=(const TFakeConnection&) = delete;

    // What the library receives through Init.
    TV8AddInDefBase* Connection() { return &FFace.Base; }

    const std::vector<TErrorReport>& Errors() const { return FErrors; }
    void ClearErrors() { FErrors.clear(); }
    size_t OtherCalls() const { return FOtherCalls; }

private:
    struct TFace {
        TV8AddInDefBase Base;
        TFakeConnection* Owner;
    };
    static TFakeConnection* OwnerOf(TV8AddInDefBase* self);
    static V8Bool V8_CALL AddError(TV8AddInDefBase* self, uint16_t wcode, const char16_t* source,
                                   const char16_t* descr, int32_t scode);
    static V8Bool V8_CALL Read(TV8AddInDefBase* self, char16_t*, V8Variant*, int32_t*, char16_t**);
    static V8Bool V8_CALL Write(TV8AddInDefBase* self, char16_t*, V8Variant*);
    static V8Bool V8_CALL RegisterProfileAs(TV8AddInDefBase* self, char16_t*);
    static V8Bool V8_CALL SetEventBufferDepth(TV8AddInDefBase* self, int32_t);
    static int32_t V8_CALL GetEventBufferDepth(TV8AddInDefBase* self);
    static V8Bool V8_CALL ExternalEvent(TV8AddInDefBase* self, char16_t*, char16_t*, char16_t*);
    static void V8_CALL CleanEventBuffer(TV8AddInDefBase* self);
    static V8Bool V8_CALL SetStatusLine(TV8AddInDefBase* self, char16_t*);
    static void V8_CALL ResetStatusLine(TV8AddInDefBase* self);
    static const TV8AppInfo* V8_CALL GetPlatformInfo(TV8AddInDefBase* self);
    static V8Bool V8_CALL Alert(TV8AddInDefBase* self, const char16_t*);
    static const TV8AddInDefBaseVtbl Vtbl;

    TFace FFace;
    std::vector<TErrorReport> FErrors;
    size_t FOtherCalls = 0;
};

// --- Host values ------------------------------------------------------------

V8Variant Empty();
V8Variant Null();
V8Variant I1(int8_t v);
V8Variant I2(int16_t v);
V8Variant I4(int32_t v);
V8Variant UI1(uint8_t v);
V8Variant UI2(uint16_t v);
V8Variant UI4(uint32_t v);
V8Variant R4(float v);
V8Variant R8(double v);
V8Variant Date(double v);
V8Variant Error(int32_t v);
V8Variant Bool(bool v);
V8Variant OfType(uint32_t vt);  // zero payload
// Texts live in blocks of the fake host's heap, as the host's own values do.
V8Variant WString(TFakeMemoryManager& mm, const std::u16string& v);
V8Variant PString(TFakeMemoryManager& mm, const std::string& v);

// Frees a value's payload block (what the host does with its values after a
// call) and empties the record.
void Release(TFakeMemoryManager& mm, V8Variant& v);

// Reading back.
uint32_t TypeOf(const V8Variant& v);  // vt as stored, all 32 bits
// The PWSTR text up to wstrLen; empty when the pointer is null.
std::u16string ReadWString(const V8Variant& v);
// The PSTR / BLOB bytes up to strLen; empty when the pointer is null.
std::string ReadBytes(const V8Variant& v);
// Whether all 48 bytes are zero.
bool IsAllZero(const V8Variant& v);

}  // namespace fakehost
