// Where the window's help comes from: the documented help file beside the program when it is
// there, otherwise the HTML manual installed with Kestrix (or made by the build, for a program
// run from its build folder).
#pragma once

#include <QString>

namespace kestrix::gui {

// The manual's index.html for a program in `programDir`; empty when there is none.
QString findManual(const QString& programDir);

// The manual's section for a help topic: 1 the macro editor, 2 the settings, others the contents.
QString helpSection(int topic);

} // namespace kestrix::gui
