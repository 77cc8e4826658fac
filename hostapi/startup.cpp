#include "hostapi/startup.h"

#include <exception>
#include <string>

#include "logging/logfile.h"
#include "platform/failure.h"

const char16_t* const AddInLogFileName = u"e:\\lll.txt";

namespace {

// What the log said before the failure's line, to be put back afterwards.
struct TLogSettings {
    bool Enabled = false;
    std::u16string FileName;
};

void WriteStartupFailure(const std::u16string& message, const TLogSettings& before,
                         const char16_t* logFileName) noexcept {
    try {
        TLogFile& log = GetLogFile();
        try {
            log.SetEnabled(false);  // closes whatever file was open
            log.SetFileName(logFileName);
            log.SetEnabled(true);
            log.Error(u"Ошибка регистрации классов компоненты при загрузке: " + message);
        } catch (...) {
            // Nowhere left to tell; the library stays loaded with no class.
        }
        log.SetEnabled(false);  // closes the file again
        log.SetFileName(before.FileName);
        log.SetEnabled(before.Enabled);
    } catch (...) {
    }
}

}  // namespace

bool RegisterClassesAtLoad(TClassRegistration registration, const char16_t* logFileName) noexcept {
    const TClassRegistryMark mark = MarkClassRegistry();
    TLogSettings before;
    try {
        // Read before the registration: with memory exhausted afterwards
        // the settings could no longer be copied.
        TLogFile& log = GetLogFile();
        before.Enabled = log.Enabled();
        before.FileName = log.FileName();
        if (registration != nullptr) registration(ClassRegList());
        return true;
    } catch (...) {
        RollBackClassRegistry(mark);
        std::u16string message;
        try {
            message = FailureMessage(std::current_exception());
        } catch (...) {
        }
        if (logFileName != nullptr) WriteStartupFailure(message, before, logFileName);
        return false;
    }
}
