// The description document through MSXML. COM is initialised by the host on
// its own thread; nothing here initialises it.
#include <windows.h>
#include <oleauto.h>
#include <msxml2.h>

#include <cstdio>

#include "platform/failure.h"
#include "platform/platform.h"

namespace platform {

namespace {

// DOMDocument60 and DOMDocument30 (version-dependent ProgIDs Msxml2.DOMDocument.6.0 / .3.0).
const CLSID ClsidDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const CLSID ClsidDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID IidXmlDomDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

template <class T>
class TComRef {
public:
    TComRef() = default;
    ~TComRef() { Reset(); }
    TComRef(const TComRef&) = delete;
    TComRef& operator=(const TComRef&) = delete;
    T* Get() const { return FPtr; }
    T* operator->() const { return FPtr; }
    T** Out() {
        Reset();
        return &FPtr;
    }
    void Reset() {
        if (FPtr) {
            FPtr->Release();
            FPtr = nullptr;
        }
    }

private:
    T* FPtr = nullptr;
};

class TBStr {
public:
    explicit TBStr(const std::u16string& s)
        : FValue(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()))) {
        if (!FValue) RaiseFailure(u"Не удалось построить документ XML: недостаточно памяти");
    }
    TBStr() = default;
    ~TBStr() { SysFreeString(FValue); }
    TBStr(const TBStr&) = delete;
    TBStr& operator=(const TBStr&) = delete;
    BSTR Get() const { return FValue; }
    BSTR* Out() {
        SysFreeString(FValue);
        FValue = nullptr;
        return &FValue;
    }
    std::u16string Text() const {
        return FValue ? std::u16string(reinterpret_cast<const char16_t*>(FValue), SysStringLen(FValue))
                      : std::u16string();
    }

private:
    BSTR FValue = nullptr;
};

class TVariantText {
public:
    explicit TVariantText(const std::u16string& s) {
        VariantInit(&FValue);
        FValue.vt = VT_BSTR;
        FValue.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
        if (!FValue.bstrVal) {
            FValue.vt = VT_EMPTY;
            RaiseFailure(u"Не удалось построить документ XML: недостаточно памяти");
        }
    }
    ~TVariantText() { VariantClear(&FValue); }
    TVariantText(const TVariantText&) = delete;
    TVariantText& operator=(const TVariantText&) = delete;
    const VARIANT& Get() const { return FValue; }

private:
    VARIANT FValue;
};

void Check(HRESULT hr, const char16_t* operation) {
    if (SUCCEEDED(hr)) return;
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    std::u16string message = u"Не удалось построить документ XML (";
    message += operation;
    message += u"): ";
    std::u16string system = SystemErrorMessage(static_cast<int32_t>(hr));
    if (!system.empty()) message += system + u" ";
    for (const char* p = code; *p; ++p) message += static_cast<char16_t>(*p);
    RaiseFailure(message);
}

// A call that answered S_FALSE or success without the object it promised.
void CheckObject(HRESULT hr, const void* object, const char16_t* operation) {
    Check(hr, operation);
    if (!object) Check(E_FAIL, operation);
}

}  // namespace

std::u16string BuildXmlDocument(const std::u16string& rootName, const std::vector<XmlAttribute>& attributes) {
    TComRef<IXMLDOMDocument> document;
    HRESULT hr = CoCreateInstance(ClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IidXmlDomDocument,
                                  reinterpret_cast<void**>(document.Out()));
    if (FAILED(hr))
        hr = CoCreateInstance(ClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IidXmlDomDocument,
                              reinterpret_cast<void**>(document.Out()));
    CheckObject(hr, document.Get(), u"CoCreateInstance DOMDocument");

    TComRef<IXMLDOMProcessingInstruction> declaration;
    {
        TBStr target(u"xml");
        TBStr data(u"version=\"1.0\" encoding=\"UTF-8\"");
        hr = document->createProcessingInstruction(target.Get(), data.Get(), declaration.Out());
        CheckObject(hr, declaration.Get(), u"createProcessingInstruction");
    }
    {
        TComRef<IXMLDOMNode> appended;
        hr = document->appendChild(declaration.Get(), appended.Out());
        Check(hr, u"appendChild");
    }

    TComRef<IXMLDOMElement> root;
    {
        TBStr name(rootName);
        hr = document->createElement(name.Get(), root.Out());
        CheckObject(hr, root.Get(), u"createElement");
    }
    for (const XmlAttribute& a : attributes) {
        TBStr name(a.Name);
        TVariantText value(a.Value);
        hr = root->setAttribute(name.Get(), value.Get());
        Check(hr, u"setAttribute");
    }
    {
        TComRef<IXMLDOMNode> appended;
        hr = document->appendChild(root.Get(), appended.Out());
        Check(hr, u"appendChild");
    }

    TBStr xml;
    hr = document->get_xml(xml.Out());
    Check(hr, u"get_xml");
    return xml.Text();
}

}  // namespace platform
