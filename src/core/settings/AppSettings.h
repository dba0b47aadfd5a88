// The program's settings in memory, and their place in "ksx.ini".
#pragma once

#include "core/net/HttpClient.h"
#include "core/settings/IniFile.h"
#include "core/util/FormatSettings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix {

struct AppSettings {
    int32_t quality = 10000;                  // AVI / Quality
    int32_t mp4Quality = 6500;                // MP4 / Quality (CRF 18)
    int32_t timeOut = 60;                     // Sampling / TimeOut, seconds
    std::string defaultFile = "default.klnx"; // Files / DefaultFile
    int32_t selectedInx = 0;                  // Links / SelectedInx
    double flawThreshold = 0.07;              // Flaws / FlawThreshold, a fraction
    bool blackFrame = true;                   // Flaws / BlackFrame
    // Connection: what goes beyond plain HTTP/1.0, each off or empty by default.
    bool allowHttps = false;     // Connection / AllowHttps
    std::string certificateFile; // Connection / CertificateFile
    std::string pins;            // Connection / Pins: fingerprints separated by blanks
    bool conditional = false;    // Connection / Conditional
    std::string userAgent;       // Connection / UserAgent; empty: the program's own
    bool rtspOverUdp = false;    // Connection / RtspTransport: tcp (the default) or udp
    int32_t streamQuality = 90;  // Connection / StreamQuality: JPEG quality of stream pictures
    // Not kept in the file: what an https address answers while https is off, in the words of
    // the front end that says how to allow it.
    std::string httpsOffMessage = TlsOptions().httpsOffMessage;
};

// The client options the connection settings give. Raises "Invalid certificate fingerprint: TEXT"
// for unreadable pins.
ConnectionOptions connectionOptions(const AppSettings& settings);

// The one settings file: $XDG_CONFIG_HOME/kestrix/ksx.ini, else ~/.config/kestrix/ksx.ini.
std::string settingsFilePath();

// Every setting except the address history, each with its default when absent or unreadable.
AppSettings readSettings(const IniFile& ini, const FormatSettings& fs);
// Writes the five edited settings and the selected index, then saves the file.
void writeSettings(IniFile& ini, const AppSettings& settings, int32_t selectedIndex,
                   const FormatSettings& fs);
void writeSelectedIndex(IniFile& ini, int32_t selectedIndex);

// The address bar's drop-down list. `Count` defaults to 10, so a first start shows ten empty
// lines.
std::vector<std::string> readAddressHistory(const IniFile& ini);
// Writes at most the first 10 entries and their count, then saves the file.
void writeAddressHistory(IniFile& ini, const std::vector<std::string>& entries);

constexpr int kSavedHistoryEntries = 10;
// A hostile Count cannot make the program read without end.
constexpr int kMaxHistoryEntries = 1000;

} // namespace kestrix
