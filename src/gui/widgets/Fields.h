// The program's field look: bold captions (" Reading:") and navy read-only values.
#pragma once

#include <QLabel>

namespace kestrix::gui {

QLabel* fieldLabel(const QString& caption, QWidget* parent);
// A value field named `name`, navy text, empty.
QLabel* valueField(const char* name, QWidget* parent, int minimumWidth = 0);
const QColor& navy();

} // namespace kestrix::gui
