// Builds without a Windows version resource carry the product's file version
// as numbers.
#include "driver/versioninfo.h"

TModuleVersion GetModuleVersion() {
    TModuleVersion v;
    v.Major = 5;
    v.Minor = 25;
    v.Release = 0;
    v.Build = 2133;
    return v;
}
