// Fuzzes the INI reader with the settings and history reads of a start.
#include "core/settings/AppSettings.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrix::IniFile ini("unused");
    ini.parse(std::string(reinterpret_cast<const char*>(data), size));
    (void)kestrix::readSettings(ini, kestrix::defaultFormatSettings());
    (void)kestrix::readAddressHistory(ini);
    ini.writeString("AddressBar", "Item0", "x");
    (void)ini.text();
    return 0;
}
