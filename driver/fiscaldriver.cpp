#include "driver/fiscaldriver.h"

namespace {
const TFiscalDriverFactory* GFactoryForTests = nullptr;
}

const TFiscalDriverFactory& CurrentDriverFactory() {
    return GFactoryForTests ? *GFactoryForTests : PlatformDriverFactory();
}

void SetDriverFactoryForTests(const TFiscalDriverFactory* factory) { GFactoryForTests = factory; }
