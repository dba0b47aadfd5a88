// What "kestrix" answers on its command line before any window exists, so that --help and
// --version work without a display: the usage, the version, or an error for an option it does
// not know. Qt's own options (-style, -platform, -session, ...) pass on to Qt.
#pragma once

#include <iosfwd>
#include <optional>

namespace kestrix::gui {

// The exit code when the command line asks for no window (0 after the help or the version, 2
// after an unknown option); nothing when the window should open.
std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out,
                                     std::ostream& err);

} // namespace kestrix::gui
