#include "core/settings/IniFile.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Text.h"

#include <filesystem>

namespace kestrix {

namespace {

bool isSectionLine(std::string_view t) {
    return t.size() >= 2 && t.front() == '[';
}

std::string sectionName(std::string_view t) {
    size_t close = t.find(']');
    return trim(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1));
}

// A value written back must stay on its line.
std::string oneLine(const std::string& value) {
    std::string out = value;
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

} // namespace

void IniFile::load() {
    std::string text;
    try {
        text = readFileBytes(path_);
    } catch (const Error&) {
        text.clear();
    }
    parse(text);
}

void IniFile::parse(const std::string& text) {
    lines_.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string raw = text.substr(pos, end - pos);
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        pos = end + 1;
        Line line{raw, {}, {}, {}};
        std::string_view t = trimView(raw);
        if (isSectionLine(t)) {
            line.section = sectionName(t);
        } else if (!t.empty() && t.front() != ';') {
            size_t eq = t.find('=');
            if (eq != std::string_view::npos) {
                line.key = trim(t.substr(0, eq));
                std::string v = trim(t.substr(eq + 1));
                // A value in matching quotes is read without them.
                if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') &&
                    v.back() == v.front())
                    v = v.substr(1, v.size() - 2);
                line.value = std::move(v);
            }
        }
        lines_.push_back(std::move(line));
    }
}

std::string IniFile::text() const {
    std::string out;
    for (const Line& l : lines_)
        out += l.raw + "\n";
    return out;
}

void IniFile::save() const {
    try {
        std::filesystem::path p(path_);
        if (p.has_parent_path())
            std::filesystem::create_directories(p.parent_path());
        writeFileAtomically(path_, text());
    } catch (const std::exception&) {
        throw Error("Unable to write to " + path_);
    }
}

size_t IniFile::findSection(const std::string& section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (!lines_[i].section.empty() && equalsIgnoreCase(lines_[i].section, section))
            return i;
    return std::string::npos;
}

std::optional<std::string> IniFile::value(const std::string& section,
                                          const std::string& key) const {
    size_t s = findSection(section);
    if (s == std::string::npos)
        return std::nullopt;
    for (size_t i = s + 1; i < lines_.size() && lines_[i].section.empty(); ++i)
        if (!lines_[i].key.empty() && equalsIgnoreCase(lines_[i].key, key))
            return lines_[i].value.substr(0, kMaxIniValueLength);
    return std::nullopt;
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& fallback) const {
    return value(section, key).value_or(fallback);
}

int32_t IniFile::readInteger(const std::string& section, const std::string& key,
                             int32_t fallback) const {
    auto v = value(section, key);
    if (!v)
        return fallback;
    return parseInt32(*v).value_or(fallback);
}

double IniFile::readFloat(const std::string& section, const std::string& key, double fallback,
                          const FormatSettings& fs) const {
    auto v = value(section, key);
    if (!v)
        return fallback;
    return parseFloat(*v, fs).value_or(fallback);
}

bool IniFile::readBool(const std::string& section, const std::string& key, bool fallback) const {
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::writeString(const std::string& section, const std::string& key,
                          const std::string& value) {
    const std::string v = oneLine(value);
    size_t s = findSection(section);
    if (s == std::string::npos) {
        if (!lines_.empty() && !trimView(lines_.back().raw).empty())
            lines_.push_back({"", {}, {}, {}});
        lines_.push_back({"[" + section + "]", section, {}, {}});
        lines_.push_back({key + "=" + v, {}, key, v});
        return;
    }
    size_t insertAt = s + 1;
    for (size_t i = s + 1; i < lines_.size() && lines_[i].section.empty(); ++i) {
        if (!lines_[i].key.empty()) {
            if (equalsIgnoreCase(lines_[i].key, key)) {
                lines_[i] = {lines_[i].key + "=" + v, {}, lines_[i].key, v};
                return;
            }
            insertAt = i + 1;
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  Line{key + "=" + v, {}, key, v});
}

void IniFile::writeInteger(const std::string& section, const std::string& key, int32_t value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeFloat(const std::string& section, const std::string& key, double value,
                         const FormatSettings& fs) {
    writeString(section, key, floatToStrGeneral(value, fs, 15));
}

void IniFile::writeBool(const std::string& section, const std::string& key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

} // namespace kestrix
