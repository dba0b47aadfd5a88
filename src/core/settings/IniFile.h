// A small INI reader/writer: "[Section]" lines and "key=value" lines, section and key names
// matched without regard to case, values cut to 2047 characters on reading. Unknown lines are
// kept as they are when the file is written back.
#pragma once

#include "core/util/FormatSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrix {

constexpr size_t kMaxIniValueLength = 2047;

class IniFile {
public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // Re-reads the file; a missing or unreadable file reads as empty.
    void load();
    // Parses INI text (used by load and by tests).
    void parse(const std::string& text);
    std::string text() const;
    // Writes the file atomically, creating its folder; failure raises "Unable to write to PATH".
    void save() const;

    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& fallback) const;
    // Whole-text decimal or "0x" hexadecimal; anything else gives the fallback.
    int32_t readInteger(const std::string& section, const std::string& key, int32_t fallback) const;
    double readFloat(const std::string& section, const std::string& key, double fallback,
                     const FormatSettings& fs) const;
    // Any integer other than 0 is true.
    bool readBool(const std::string& section, const std::string& key, bool fallback) const;

    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void writeInteger(const std::string& section, const std::string& key, int32_t value);
    void writeFloat(const std::string& section, const std::string& key, double value,
                    const FormatSettings& fs);
    void writeBool(const std::string& section, const std::string& key, bool value);

private:
    struct Line {
        std::string raw;
        std::string section; // set on "[...]" lines
        std::string key;     // set on key lines
        std::string value;
    };
    // Index of the section header line, or npos.
    size_t findSection(const std::string& section) const;

    std::string path_;
    std::vector<Line> lines_;
};

} // namespace kestrix
