// Owners for COM resources: interface pointers, BSTRs, VARIANTs and the
// strings of an EXCEPINFO. Each frees what it holds on every path.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

// One reference to an interface. T is any type whose first member is a
// pointer to a table beginning with the IUnknown slots.
template <class T>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    TComPtr(TComPtr&& other) noexcept : FPtr(other.FPtr) { other.FPtr = nullptr; }
    TComPtr& operator=(TComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            FPtr = other.FPtr;
            other.FPtr = nullptr;
        }
        return *this;
    }
    ~TComPtr() { Reset(); }

    T* Get() const { return FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }
    // For functions that hand out a new reference: releases the old one first.
    T** Receive() {
        Reset();
        return &FPtr;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    void Reset() {
        if (FPtr) {
            T* p = FPtr;
            FPtr = nullptr;
            reinterpret_cast<IUnknown*>(p)->Release();
        }
    }

private:
    T* FPtr = nullptr;
};

// A BSTR owned by this object.
class TBStr {
public:
    TBStr() = default;
    // Raises nothing; a failed allocation leaves the BSTR null and Failed() true.
    explicit TBStr(std::u16string_view s)
        : FStr(::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()))),
          FFailed(FStr == nullptr) {}
    TBStr(const TBStr&) = delete;
    TBStr& operator=(const TBStr&) = delete;
    ~TBStr() { Reset(); }

    BSTR Get() const { return FStr; }
    bool Failed() const { return FFailed; }
    BSTR* Receive() {
        Reset();
        return &FStr;
    }
    // Gives the BSTR up to the caller, who frees it.
    BSTR Release() {
        BSTR s = FStr;
        FStr = nullptr;
        return s;
    }
    // Makes the BSTR size units long, keeping what fits of its text, with a
    // zero after them; a null BSTR is made. False when the system has no
    // memory: the BSTR is then as it was.
    bool Resize(UINT size) { return ::SysReAllocStringLen(&FStr, nullptr, size) && FStr != nullptr; }
    void Reset() {
        if (FStr) {
            ::SysFreeString(FStr);
            FStr = nullptr;
        }
    }
    std::u16string Text() const { return TextOf(FStr); }

    // The text of any BSTR (null reads as empty); embedded zeros are kept.
    static std::u16string TextOf(BSTR s) {
        if (!s) return std::u16string();
        return std::u16string(reinterpret_cast<const char16_t*>(s), ::SysStringLen(s));
    }

private:
    BSTR FStr = nullptr;
    bool FFailed = false;
};

// A VARIANT owned by this object (cleared on destruction).
class TVariant {
public:
    TVariant() { ::VariantInit(&FValue); }
    TVariant(const TVariant&) = delete;
    TVariant& operator=(const TVariant&) = delete;
    ~TVariant() { ::VariantClear(&FValue); }

    VARIANT& Get() { return FValue; }
    VARIANT* Receive() {
        ::VariantClear(&FValue);
        return &FValue;
    }

private:
    VARIANT FValue;
};

// The strings of an EXCEPINFO, freed on destruction.
class TExcepInfo {
public:
    TExcepInfo() { ZeroMemory(&FInfo, sizeof(FInfo)); }
    TExcepInfo(const TExcepInfo&) = delete;
    TExcepInfo& operator=(const TExcepInfo&) = delete;
    ~TExcepInfo() {
        // Empty after most calls: no call into the system for them then.
        if (FInfo.bstrSource) ::SysFreeString(FInfo.bstrSource);
        if (FInfo.bstrDescription) ::SysFreeString(FInfo.bstrDescription);
        if (FInfo.bstrHelpFile) ::SysFreeString(FInfo.bstrHelpFile);
    }

    EXCEPINFO* Get() { return &FInfo; }
    // Fills the fields that the server left for later, then reads them.
    void Complete() {
        if (FInfo.pfnDeferredFillIn) {
            auto fill = FInfo.pfnDeferredFillIn;
            FInfo.pfnDeferredFillIn = nullptr;
            fill(&FInfo);
        }
    }
    std::u16string Description() const { return TBStr::TextOf(FInfo.bstrDescription); }
    HRESULT Code() const { return FInfo.scode; }

private:
    EXCEPINFO FInfo;
};
