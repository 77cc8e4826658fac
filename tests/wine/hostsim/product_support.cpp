#include "tests/wine/hostsim/product_support.h"

#include <oleauto.h>
#include <msxml2.h>

#include <cstdio>
#include <cstdlib>

namespace hostsim {
namespace product {

const wchar_t* const DriverClassText = L"{32D32C7A-CEF9-4AC5-8953-3D6DF81ABBD6}";
const wchar_t* const LogPath = L"e:\\lll.txt";

namespace {

const wchar_t* const SteeringNames[] = {
    L"FAIL",         L"FAIL_HR",      L"FAIL_TEXT",     L"ANSWER",        L"OUT",
    L"OUT_REPEAT",   L"REVISION",     L"HIDE_INTERFACE", L"PROPERTY_FAIL", L"PROPERTY_TEXT",
    L"PROPERTY_TYPE", L"VERSION",     L"VERSION_FAIL",  L"REFUSE_CREATE", L"REFUSE_TEXT",
};

std::wstring EnvName(const std::wstring& name) { return L"KELMOR_FAKEDRIVER_" + name; }

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

bool Digits(const std::string& s, size_t from, size_t count) {
    if (from + count > s.size()) return false;
    for (size_t i = from; i < from + count; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// Length of the line header at the start of a decoded line, 0 when there is
// none: "[DD.MM.YYYY hh:mm:ss.zzz] [digits] ".
size_t HeaderLength(const std::string& line) {
    if (line.size() < 30 || line[0] != '[') return 0;
    if (!(Digits(line, 1, 2) && line[3] == '.' && Digits(line, 4, 2) && line[6] == '.' && Digits(line, 7, 4) &&
          line[11] == ' ' && Digits(line, 12, 2) && line[14] == ':' && Digits(line, 15, 2) && line[17] == ':' &&
          Digits(line, 18, 2) && line[20] == '.' && Digits(line, 21, 3) && line[24] == ']' && line[25] == ' ' &&
          line[26] == '['))
        return 0;
    size_t i = 27;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (i == 27 || i + 1 >= line.size() || line[i] != ']' || line[i + 1] != ' ') return 0;
    return i + 2;
}

const CLSID ClsidDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const CLSID ClsidDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID IidXmlDomDocument = {0x2933bf81, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

template <class T>
struct TRef {
    T* P = nullptr;
    ~TRef() {
        if (P) P->Release();
    }
    T** operator&() { return &P; }
    T* operator->() const { return P; }
};

struct TBstr {
    BSTR B = nullptr;
    ~TBstr() { SysFreeString(B); }
    std::u16string Text() const {
        return B ? std::u16string(reinterpret_cast<const char16_t*>(B), SysStringLen(B)) : std::u16string();
    }
};

}  // namespace

// --- The driver's registration ------------------------------------------------

std::wstring FullPath(const std::wstring& name) {
    wchar_t buf[MAX_PATH * 2];
    DWORD n = GetFullPathNameW(name.c_str(), MAX_PATH * 2, buf, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(buf, n) : name;
}

int RunRegsvr32(const std::wstring& dll, bool unregister) {
    std::wstring command = std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" + FullPath(dll) + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

bool DriverClassRegistered() {
    HKEY key = nullptr;
    std::wstring path = std::wstring(L"Software\\Classes\\CLSID\\") + DriverClassText + L"\\InprocServer32";
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// --- Steering the double ----------------------------------------------------

void SetDriverEnv(const std::wstring& name, const std::u16string& value) {
    SetEnvironmentVariableW(EnvName(name).c_str(), Wide(value).c_str());
}

void ClearDriverEnv(const std::wstring& name) { SetEnvironmentVariableW(EnvName(name).c_str(), nullptr); }

void ResetDriverEnv() {
    for (const wchar_t* name : SteeringNames) ClearDriverEnv(name);
}

TDriverEnv::TDriverEnv(std::vector<std::pair<std::wstring, std::u16string>> values) : FValues(std::move(values)) {
    for (const auto& v : FValues) SetDriverEnv(v.first, v.second);
}

TDriverEnv::~TDriverEnv() {
    for (const auto& v : FValues) ClearDriverEnv(v.first);
}

TJournal::TJournal(const std::wstring& name) : FPath(FullPath(name)) {
    DeleteFileW(FPath.c_str());
    SetEnvironmentVariableW(L"KELMOR_FAKEDRIVER_JOURNAL", FPath.c_str());
}

std::vector<std::string> TJournal::ReadNew() {
    std::string bytes;
    std::vector<std::string> lines;
    if (!ReadFileBytes(FPath, bytes) || bytes.size() <= FOffset) return lines;
    std::string fresh = bytes.substr(FOffset);
    FOffset = bytes.size();
    size_t start = 0;
    while (start < fresh.size()) {
        size_t end = fresh.find('\n', start);
        if (end == std::string::npos) end = fresh.size();
        lines.push_back(fresh.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string JournalText(const std::u16string& text) {
    if (text.size() > 200) {
        uint32_t hash = 2166136261u;
        for (char16_t c : text) {
            hash = (hash ^ static_cast<uint8_t>(c & 0xFF)) * 16777619u;
            hash = (hash ^ static_cast<uint8_t>(c >> 8)) * 16777619u;
        }
        char buf[48];
        std::snprintf(buf, sizeof buf, "#%u:%08x", static_cast<unsigned>(text.size()), hash);
        return buf;
    }
    std::string out = "\"";
    for (char c : Utf8(text)) {
        switch (c) {
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out + "\"";
}

std::string NormalizeJournalLine(const std::string& line) {
    std::string out;
    size_t start = 0;
    while (true) {
        size_t end = line.find('\t', start);
        std::string field = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (field == "\"\"") field = "null";
        const size_t colon = field.find(':');
        if (colon != std::string::npos && field.compare(colon, std::string::npos, ":\"\"") == 0 &&
            field.find('"') == colon + 1)
            field = field.substr(0, colon) + ":null";
        out += field;
        if (end == std::string::npos) break;
        out += '\t';
        start = end + 1;
    }
    return out;
}

std::string JournalOperation(const std::string& line) {
    size_t end = line.find('\t');
    return line.substr(0, end);
}

// --- The log file -------------------------------------------------------------

std::u16string FromCodePage1251(const std::string& bytes) {
    if (bytes.empty()) return std::u16string();
    int n = MultiByteToWideChar(1251, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(1251, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], n);
    return std::u16string(wide.begin(), wide.end());
}

bool TLogReader::Exists() const { return GetFileAttributesW(FPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

void TLogReader::Skip() {
    std::string bytes;
    FOffset = ReadFileBytes(FPath, bytes) ? bytes.size() : 0;
}

std::u16string TLogReader::ReadAll() const {
    std::string bytes;
    ReadFileBytes(FPath, bytes);
    return FromCodePage1251(bytes);
}

std::vector<TLogEntry> TLogReader::ReadNew() {
    std::vector<TLogEntry> entries;
    std::string bytes;
    if (!ReadFileBytes(FPath, bytes) || bytes.size() <= FOffset) return entries;
    std::string fresh = bytes.substr(FOffset);
    FOffset = bytes.size();
    if (fresh.size() >= 2 && fresh.compare(fresh.size() - 2, 2, "\r\n") == 0) fresh.resize(fresh.size() - 2);
    size_t start = 0;
    while (true) {
        size_t end = fresh.find("\r\n", start);
        std::string line = fresh.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t header = HeaderLength(line);
        if (header > 0 || entries.empty()) {
            entries.push_back(TLogEntry{line.substr(0, header), FromCodePage1251(line.substr(header))});
        } else {
            entries.back().Text += u"\r\n" + FromCodePage1251(line);
        }
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return entries;
}

bool TLogReader::HeaderOk(const std::string& header, std::string& why) {
    if (HeaderLength(header) != header.size() || header.empty()) {
        why = "no line header";
        return false;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int day = std::atoi(header.substr(1, 2).c_str()), month = std::atoi(header.substr(4, 2).c_str());
    const int year = std::atoi(header.substr(7, 4).c_str()), hour = std::atoi(header.substr(12, 2).c_str());
    const int minute = std::atoi(header.substr(15, 2).c_str()), second = std::atoi(header.substr(18, 2).c_str());
    if (day < 1 || day > 31 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59 ||
        (year != now.wYear && year != now.wYear - 1)) {
        why = "impossible time stamp in " + header;
        return false;
    }
    const std::string digits = header.substr(27, header.size() - 29);
    if (digits.size() < 8) {
        why = "thread identifier with fewer than eight digits in " + header;
        return false;
    }
    if (std::strtoul(digits.c_str(), nullptr, 10) != GetCurrentThreadId()) {
        why = "thread identifier " + digits + " is not the host thread's " + std::to_string(GetCurrentThreadId());
        return false;
    }
    return true;
}

// --- XML ------------------------------------------------------------------------

TXmlDocument ParseXml(const std::u16string& text) {
    TXmlDocument result;
    TRef<IXMLDOMDocument> doc;
    HRESULT hr = CoCreateInstance(ClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IidXmlDomDocument,
                                  reinterpret_cast<void**>(&doc));
    if (FAILED(hr))
        hr = CoCreateInstance(ClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IidXmlDomDocument,
                              reinterpret_cast<void**>(&doc));
    if (FAILED(hr) || !doc.P) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "MSXML not available (hr %08lx)", static_cast<unsigned long>(hr));
        result.Error = buf;
        return result;
    }
    doc->put_async(VARIANT_FALSE);
    BSTR source = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = doc->loadXML(source, &loaded);
    SysFreeString(source);
    if (FAILED(hr) || loaded == VARIANT_FALSE) {
        TRef<IXMLDOMParseError> error;
        TBstr reason;
        if (SUCCEEDED(doc->get_parseError(&error)) && error.P) error->get_reason(&reason.B);
        result.Error = "not well-formed: " + Utf8(reason.Text());
        return result;
    }
    TRef<IXMLDOMElement> root;
    if (FAILED(doc->get_documentElement(&root)) || !root.P) {
        result.Error = "no root element";
        return result;
    }
    TBstr name;
    root->get_nodeName(&name.B);
    result.Root = name.Text();
    TRef<IXMLDOMNodeList> children;
    long count = -1;
    if (SUCCEEDED(root->get_childNodes(&children)) && children.P) children->get_length(&count);
    result.RootChildren = static_cast<int32_t>(count);
    TRef<IXMLDOMNamedNodeMap> attributes;
    long n = 0;
    if (SUCCEEDED(root->get_attributes(&attributes)) && attributes.P) attributes->get_length(&n);
    for (long i = 0; i < n; ++i) {
        TRef<IXMLDOMNode> node;
        if (FAILED(attributes->get_item(i, &node)) || !node.P) continue;
        TBstr key, value;
        node->get_nodeName(&key.B);
        node->get_text(&value.B);
        result.Attributes.emplace_back(key.Text(), value.Text());
    }
    result.Parsed = true;
    return result;
}

// --- Messages ---------------------------------------------------------------------

std::u16string SystemMessage(HRESULT code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                  nullptr);
    std::u16string message;
    if (buffer) {
        message.assign(reinterpret_cast<const char16_t*>(buffer), length);
        LocalFree(buffer);
    }
    while (!message.empty() && (message.back() <= u' ' || message.back() == u'.')) message.pop_back();
    if (message.empty()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "OLE error %.8lx", static_cast<unsigned long>(code));
        return Utf16(std::string(buf));
    }
    return message;
}

}  // namespace product
}  // namespace hostsim
