#include "gui/SystemLocale.h"

#include "gui/QtText.h"

#include <QLocale>

namespace kestrix::gui {

std::string convertQtFormat(const QString& f) {
    std::string out;
    for (qsizetype i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == '\'') { // quoted text stays quoted
            qsizetype end = f.indexOf('\'', i + 1);
            if (end < 0)
                end = f.size() - 1;
            out += fromQ(f.mid(i, end - i + 1));
            i = end;
        } else if (c == 'M') {
            out += 'm';
        } else if (c == 'm') {
            out += 'n';
        } else if (c == 'H') {
            out += 'h';
        } else if (c == 'A' || c == 'a') {
            out += "ampm";
            if (i + 1 < f.size() && (f[i + 1] == 'P' || f[i + 1] == 'p'))
                ++i;
        } else if (c == 't') {
            // Time zones have no place in our formats.
        } else {
            out += fromQ(QString(c));
        }
    }
    return out;
}

FormatSettings formatSettingsFrom(const QLocale& locale) {
    FormatSettings fs;
    auto first = [](const QString& s, char fallback) {
        return s.isEmpty() || s[0].unicode() > 127 ? fallback : static_cast<char>(s[0].unicode());
    };
    fs.decimalSeparator = first(locale.decimalPoint(), '.');
    // A group separator our single-byte texts cannot hold (a narrow no-break space, say) becomes
    // a blank, never a second copy of the decimal separator.
    fs.thousandSeparator = first(locale.groupSeparator(), ' ');
    if (fs.thousandSeparator == fs.decimalSeparator)
        fs.thousandSeparator = fs.decimalSeparator == ',' ? '.' : ',';
    fs.shortDateFormat = convertQtFormat(locale.dateFormat(QLocale::ShortFormat));
    fs.longDateFormat = convertQtFormat(locale.dateFormat(QLocale::LongFormat));
    fs.shortTimeFormat = convertQtFormat(locale.timeFormat(QLocale::ShortFormat));
    fs.longTimeFormat = convertQtFormat(locale.timeFormat(QLocale::LongFormat));
    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    for (QChar c : shortDate)
        if (!c.isLetter() && c != '\'') {
            fs.dateSeparator = first(QString(c), '/');
            break;
        }
    const QString shortTime = locale.timeFormat(QLocale::ShortFormat);
    for (QChar c : shortTime)
        if (!c.isLetter() && c != '\'' && c != ' ') {
            fs.timeSeparator = first(QString(c), ':');
            break;
        }
    fs.timeAMString = fromQ(locale.amText());
    fs.timePMString = fromQ(locale.pmText());
    for (int m = 1; m <= 12; ++m) {
        fs.shortMonthNames[static_cast<size_t>(m - 1)] =
            fromQ(locale.monthName(m, QLocale::ShortFormat));
        fs.longMonthNames[static_cast<size_t>(m - 1)] = fromQ(locale.monthName(m));
    }
    for (int d = 0; d < 7; ++d) {
        const int qtDay = d == 0 ? 7 : d; // Qt counts Monday as 1 and Sunday as 7
        fs.shortDayNames[static_cast<size_t>(d)] =
            fromQ(locale.dayName(qtDay, QLocale::ShortFormat));
        fs.longDayNames[static_cast<size_t>(d)] = fromQ(locale.dayName(qtDay));
    }
    return fs;
}

} // namespace kestrix::gui
