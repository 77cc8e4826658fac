#include "driver/fiscaldriver.h"
#include "driver/tarvik_win.h"

namespace {

std::unique_ptr<TFiscalDriver> CreateTarvik1C30() { return std::make_unique<TTarvik1C30>(); }

std::u16string ReadTarvikVersion() {
    TTarvik control;
    return control.DriverVersion();
}

const TFiscalDriverFactory GComFactory = {&CreateTarvik1C30, &ReadTarvikVersion};

}  // namespace

const TFiscalDriverFactory& PlatformDriverFactory() { return GComFactory; }
