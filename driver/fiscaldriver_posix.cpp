#include "driver/fiscaldriver.h"
#include "platform/failure.h"

// No COM here: the driver's objects cannot be created.
namespace {

std::unique_ptr<TFiscalDriver> CreateNoDriver() { RaiseFailure(u"COM is not available"); }

std::u16string ReadNoVersion() { RaiseFailure(u"COM is not available"); }

const TFiscalDriverFactory GPosixFactory = {&CreateNoDriver, &ReadNoVersion};

}  // namespace

const TFiscalDriverFactory& PlatformDriverFactory() { return GPosixFactory; }
