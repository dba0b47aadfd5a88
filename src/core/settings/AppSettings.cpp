#include "core/settings/AppSettings.h"

#include "core/util/Text.h"

#include <algorithm>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace kestrix {

std::string settingsFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/kestrix/ksx.ini";
}

AppSettings readSettings(const IniFile& ini, const FormatSettings& fs) {
    AppSettings s;
    s.quality = ini.readInteger("AVI", "Quality", s.quality);
    s.mp4Quality = ini.readInteger("MP4", "Quality", s.mp4Quality);
    s.timeOut = ini.readInteger("Sampling", "TimeOut", s.timeOut);
    s.defaultFile = ini.readString("Files", "DefaultFile", s.defaultFile);
    s.selectedInx = ini.readInteger("Links", "SelectedInx", s.selectedInx);
    s.flawThreshold = ini.readFloat("Flaws", "FlawThreshold", s.flawThreshold, fs);
    s.blackFrame = ini.readBool("Flaws", "BlackFrame", s.blackFrame);
    s.allowHttps = ini.readBool("Connection", "AllowHttps", s.allowHttps);
    s.certificateFile = ini.readString("Connection", "CertificateFile", s.certificateFile);
    s.pins = ini.readString("Connection", "Pins", s.pins);
    s.conditional = ini.readBool("Connection", "Conditional", s.conditional);
    s.userAgent = ini.readString("Connection", "UserAgent", s.userAgent);
    s.rtspOverUdp = toLowerAscii(ini.readString("Connection", "RtspTransport", "tcp")) == "udp";
    s.streamQuality =
        std::clamp(ini.readInteger("Connection", "StreamQuality", s.streamQuality), 1, 100);
    return s;
}

void writeSettings(IniFile& ini, const AppSettings& s, int32_t selectedIndex,
                   const FormatSettings& fs) {
    ini.load();
    ini.writeInteger("AVI", "Quality", s.quality);
    ini.writeInteger("MP4", "Quality", s.mp4Quality);
    ini.writeInteger("Sampling", "TimeOut", s.timeOut);
    ini.writeString("Files", "DefaultFile", s.defaultFile);
    ini.writeFloat("Flaws", "FlawThreshold", s.flawThreshold, fs);
    ini.writeBool("Flaws", "BlackFrame", s.blackFrame);
    ini.writeBool("Connection", "AllowHttps", s.allowHttps);
    ini.writeString("Connection", "CertificateFile", s.certificateFile);
    ini.writeString("Connection", "Pins", s.pins);
    ini.writeBool("Connection", "Conditional", s.conditional);
    ini.writeString("Connection", "UserAgent", s.userAgent);
    ini.writeString("Connection", "RtspTransport", s.rtspOverUdp ? "udp" : "tcp");
    ini.writeInteger("Connection", "StreamQuality", s.streamQuality);
    ini.writeInteger("Links", "SelectedInx", selectedIndex);
    ini.save();
}

ConnectionOptions connectionOptions(const AppSettings& s) {
    ConnectionOptions o;
    o.tls.allowHttps = s.allowHttps;
    o.tls.certificateFile = s.certificateFile;
    o.tls.pins = parseFingerprints(s.pins);
    o.tls.httpsOffMessage = s.httpsOffMessage;
    o.conditional = s.conditional;
    o.streams.rtspOverUdp = s.rtspOverUdp;
    o.streams.jpegQuality = s.streamQuality;
    o.userAgent = s.userAgent;
    return o;
}

void writeSelectedIndex(IniFile& ini, int32_t selectedIndex) {
    ini.load();
    ini.writeInteger("Links", "SelectedInx", selectedIndex);
    ini.save();
}

std::vector<std::string> readAddressHistory(const IniFile& ini) {
    int n = std::clamp(ini.readInteger("AddressBar", "Count", kSavedHistoryEntries), 0,
                       kMaxHistoryEntries);
    std::vector<std::string> entries;
    entries.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        entries.push_back(ini.readString("AddressBar", "Item" + std::to_string(i), ""));
    return entries;
}

void writeAddressHistory(IniFile& ini, const std::vector<std::string>& entries) {
    ini.load();
    auto n = static_cast<int>(std::min<size_t>(entries.size(), kSavedHistoryEntries));
    ini.writeInteger("AddressBar", "Count", n);
    for (int i = 0; i < n; ++i)
        ini.writeString("AddressBar", "Item" + std::to_string(i), entries[static_cast<size_t>(i)]);
    ini.save();
}

} // namespace kestrix
