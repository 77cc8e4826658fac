// Helpers of the simulator modes that drive the product DLL against the
// fiscal driver's test double (tests/wine/fakedriver): registering the double
// as the installed driver, steering its answers, reading its journal, reading
// the add-in's log file (code page 1251) and parsing XML with MSXML.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/wine/hostsim/hostlib.h"

namespace hostsim {
namespace product {

// Class identifier of the driver object.
extern const wchar_t* const DriverClassText;
// Where the add-in writes its log.
extern const wchar_t* const LogPath;

// --- The driver's registration ------------------------------------------------

// Full path of a file of the working folder.
std::wstring FullPath(const std::wstring& name);
// Runs "regsvr32 /s [/u] <dll>" as a child process; answers its exit code
// (-1 when it could not be started).
int RunRegsvr32(const std::wstring& dll, bool unregister);
// Whether the driver's class has an in-process server in HKLM\Software\Classes.
bool DriverClassRegistered();

// --- Steering the double ----------------------------------------------------

// KELMOR_FAKEDRIVER_<name> = value for the calls that follow.
void SetDriverEnv(const std::wstring& name, const std::u16string& value);
void ClearDriverEnv(const std::wstring& name);
// Clears every steering variable except the journal.
void ResetDriverEnv();

// Sets the listed variables while alive and clears them afterwards.
class TDriverEnv {
public:
    explicit TDriverEnv(std::vector<std::pair<std::wstring, std::u16string>> values);
    ~TDriverEnv();
    TDriverEnv(const TDriverEnv&) = delete;
    TDriverEnv& operator=(const TDriverEnv&) = delete;

private:
    std::vector<std::pair<std::wstring, std::u16string>> FValues;
};

// The journal of the double: UTF-8 lines, fields separated by tabs.
class TJournal {
public:
    // Points the double at a fresh journal file of the working folder.
    explicit TJournal(const std::wstring& name);
    // Lines written since the last call.
    std::vector<std::string> ReadNew();
    void Skip() { ReadNew(); }

private:
    std::wstring FPath;
    size_t FOffset = 0;
};

// An in-text as the journal shows it: quoted UTF-8 with \r \n \t \\ escaped,
// or "#<length>:<hash>" beyond 200 characters.
std::string JournalText(const std::u16string& text);
// An empty in-text ("" or null) and an empty out-text or variant text
// ("out:\"\"", "v8:\"\"") are shown as null, out:null, v8:null.
std::string NormalizeJournalLine(const std::string& line);
// First field of a journal line (up to the first tab): the operation's name,
// or an object event such as "Close driver 1".
std::string JournalOperation(const std::string& line);

// --- The log file -------------------------------------------------------------

// One line of the log with the lines of text that follow it up to the next
// header (texts with line breaks).
struct TLogEntry {
    std::string Header;  // "[DD.MM.YYYY hh:mm:ss.zzz] [TTTTTTTT] ", or empty when missing
    std::u16string Text;  // level tag and text, continuation lines joined by CR LF
};

// Text of the file in code page 1251, decoded.
std::u16string FromCodePage1251(const std::string& bytes);

class TLogReader {
public:
    explicit TLogReader(const std::wstring& path = LogPath) : FPath(path) {}
    bool Exists() const;
    // Entries written since the last call (or since Skip).
    std::vector<TLogEntry> ReadNew();
    void Skip();
    // Everything from the start, decoded.
    std::u16string ReadAll() const;
    // Whether a header has the right shape, today's date and the thread
    // identifier of the calling thread; the reason when it has not.
    static bool HeaderOk(const std::string& header, std::string& why);

private:
    std::wstring FPath;
    size_t FOffset = 0;
};

// --- XML ------------------------------------------------------------------------

struct TXmlDocument {
    bool Parsed = false;
    std::string Error;
    std::u16string Root;
    int32_t RootChildren = -1;
    std::vector<std::pair<std::u16string, std::u16string>> Attributes;  // in document order
};

// Parses a text with MSXML (COM must be initialised on the thread).
TXmlDocument ParseXml(const std::u16string& text);

// --- Host values and messages ---------------------------------------------------

// The system's message for an HRESULT as the add-in reports it: trailing
// blanks, line breaks and full stops cut; "OLE error xxxxxxxx" when none.
std::u16string SystemMessage(HRESULT code);

}  // namespace product
}  // namespace hostsim
