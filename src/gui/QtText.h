// Conversions between the core's UTF-8 strings and Qt's strings.
#pragma once

#include <QString>
#include <string>

namespace kestrix::gui {

inline QString toQ(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string fromQ(const QString& s) {
    return s.toUtf8().toStdString();
}

} // namespace kestrix::gui
