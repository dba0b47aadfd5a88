// The user's locale as the core's FormatSettings.
#pragma once

#include "core/util/FormatSettings.h"

#include <QString>

class QLocale;

namespace kestrix::gui {

FormatSettings formatSettingsFrom(const QLocale& locale);
// A Qt date/time format ("M/d/yy h:mm AP") in the program's format language ("m/d/yy h:nn ampm").
std::string convertQtFormat(const QString& qtFormat);

} // namespace kestrix::gui
