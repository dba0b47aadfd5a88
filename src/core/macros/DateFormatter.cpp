#include "core/macros/DateFormatter.h"

#include <cstdio>

namespace kestrix {

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool startsWithNoCase(std::string_view f, size_t at, std::string_view word) {
    if (f.size() - at < word.size())
        return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (upper(f[at + k]) != upper(word[k]))
            return false;
    return true;
}

std::string padded(long value, size_t width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*ld", static_cast<int>(width), value);
    return buf;
}

// Whether an am/pm, a/p or ampm follows before the next h; quoted text does not count.
bool twelveHourAhead(std::string_view f, size_t from) {
    char quote = 0;
    for (size_t k = from; k < f.size(); ++k) {
        const char c = f[k];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == 'h' || c == 'H') {
            return false;
        } else if ((c == 'a' || c == 'A') &&
                   (startsWithNoCase(f, k, "am/pm") || startsWithNoCase(f, k, "a/p") ||
                    startsWithNoCase(f, k, "ampm"))) {
            return true;
        }
    }
    return false;
}

class Formatter {
public:
    Formatter(DateTime value, const FormatSettings& fs)
        : date_(decodeDate(value)), time_(decodeTime(value)), fs_(fs) {}

    void append(std::string_view f, int level);
    std::string take() { return std::move(out_); }

private:
    size_t runLength(std::string_view f, size_t at) const {
        size_t n = 1;
        while (at + n < f.size() && upper(f[at + n]) == upper(f[at]))
            ++n;
        return n;
    }
    size_t appendAmPm(std::string_view f, size_t at);
    void appendNumber(long value, size_t count) { out_ += padded(value, count); }

    DateParts date_;
    TimeParts time_;
    const FormatSettings& fs_;
    std::string out_;
};

size_t Formatter::appendAmPm(std::string_view f, size_t at) {
    const bool pm = time_.hour >= 12;
    if (startsWithNoCase(f, at, "am/pm")) {
        out_ += f.substr(pm ? at + 3 : at, 2);
        return 5;
    }
    if (startsWithNoCase(f, at, "a/p")) {
        out_ += f[pm ? at + 2 : at];
        return 3;
    }
    if (startsWithNoCase(f, at, "ampm")) {
        out_ += pm ? fs_.timePMString : fs_.timeAMString;
        return 4;
    }
    if (startsWithNoCase(f, at, "aaaa")) {
        out_ += fs_.longDayNames[static_cast<size_t>(date_.dayOfWeek)];
        return 4;
    }
    if (startsWithNoCase(f, at, "aaa")) {
        out_ += fs_.shortDayNames[static_cast<size_t>(date_.dayOfWeek)];
        return 3;
    }
    out_ += f[at];
    return 1;
}

void Formatter::append(std::string_view f, int level) {
    if (level >= 2)
        return;
    char last = 0; // the last letter seen, for the minutes-after-hours rule
    const auto month = static_cast<size_t>(date_.month - 1);
    const auto weekday = static_cast<size_t>(date_.dayOfWeek);
    for (size_t i = 0; i < f.size();) {
        const char c = f[i];
        const char u = upper(c);
        size_t n = isLetter(c) ? runLength(f, i) : 1;
        switch (u) {
        case 'Y':
            appendNumber(n <= 2 ? date_.year % 100 : date_.year, n <= 2 ? 2 : 4);
            break;
        case 'M':
            if (n <= 2)
                appendNumber(last == 'H' ? time_.minute : date_.month, n);
            else
                out_ += n == 3 ? fs_.shortMonthNames[month] : fs_.longMonthNames[month];
            break;
        case 'D':
            if (n <= 2)
                appendNumber(date_.day, n);
            else if (n == 3)
                out_ += fs_.shortDayNames[weekday];
            else if (n == 4)
                out_ += fs_.longDayNames[weekday];
            else
                append(n == 5 ? fs_.shortDateFormat : fs_.longDateFormat, level + 1);
            break;
        case 'H': {
            int hour = time_.hour;
            if (twelveHourAhead(f, i + n))
                hour = hour % 12 == 0 ? 12 : hour % 12;
            appendNumber(hour, n >= 2 ? 2 : 1);
            break;
        }
        case 'N':
            appendNumber(time_.minute, n >= 2 ? 2 : 1);
            break;
        case 'S':
            appendNumber(time_.second, n >= 2 ? 2 : 1);
            break;
        case 'Z':
            appendNumber(time_.millisecond, n >= 3 ? 3 : n);
            break;
        case 'T':
            append(n == 1 ? fs_.shortTimeFormat : fs_.longTimeFormat, level + 1);
            break;
        case 'C':
            append(fs_.shortDateFormat, level + 1);
            if (time_.hour != 0 || time_.minute != 0 || time_.second != 0) {
                out_ += ' ';
                append(fs_.longTimeFormat, level + 1);
            }
            break;
        case 'E':
            appendNumber(date_.year - fs_.era.startYear + 1, n);
            break;
        case 'G':
            out_ += fs_.era.name;
            break;
        case 'A':
            n = appendAmPm(f, i);
            break;
        case '/':
            out_ += fs_.dateSeparator;
            break;
        case ':':
            out_ += fs_.timeSeparator;
            break;
        case '\'':
        case '"': {
            size_t close = f.find(c, i + 1);
            size_t end = close == std::string_view::npos ? f.size() : close;
            out_ += f.substr(i + 1, end - i - 1);
            n = (close == std::string_view::npos ? f.size() : close + 1) - i;
            break;
        }
        default:
            out_.append(f.substr(i, n));
            break;
        }
        if (isLetter(c))
            last = u;
        i += n;
    }
}

} // namespace

std::string formatDateTime(std::string_view format, DateTime value, const FormatSettings& fs) {
    Formatter formatter(value, fs);
    formatter.append(format.empty() ? std::string_view("c") : format, 0);
    return formatter.take();
}

} // namespace kestrix
