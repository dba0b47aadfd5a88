// Fuzzes the INI reader with the settings and history reads of a start.
#include "settings/AppSettings.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrix::IniFile ini("unused");
    ini.parse(std::string(reinterpret_cast<const char*>(data), size));
    (void)kestrix::ReadSettings(ini, kestrix::defaultFormatSettings());
    (void)kestrix::ReadAddressHistory(ini);
    ini.writeString("AddressBar", "Item0", "x");
    (void)ini.text();
    return 0;
}
