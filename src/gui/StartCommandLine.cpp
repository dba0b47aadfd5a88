#include "gui/StartCommandLine.h"

#include <algorithm>
#include <iterator>
#include <ostream>
#include <string_view>

namespace kestrix::gui {

namespace {

constexpr std::string_view kUsage =
    "Usage: kestrix [OPTIONS] [FILE]\n"
    "\n"
    "Watches images published at fixed web addresses (web cameras, weather radar) and captures\n"
    "new ones as frames.\n"
    "\n"
    "FILE, when given, is opened at start: a link file (.klnx) or a frames file (.ifrm).\n"
    "\n"
    "Options:\n"
    "  -h, --help     Print this help and exit\n"
    "  --version      Print the version and exit\n"
    "\n"
    "Qt's own options (-style NAME, -platform NAME, ...) are passed on to Qt.\n";

// The options QApplication and its platform plugins take out of the command line (with one or
// two dashes); a session manager restarts the program with -session.
constexpr std::string_view kQtOptionsWithValue[] = {"platform",
                                                    "platformpluginpath",
                                                    "platformtheme",
                                                    "plugin",
                                                    "qwindowgeometry",
                                                    "geometry",
                                                    "qwindowtitle",
                                                    "title",
                                                    "qwindowicon",
                                                    "icon",
                                                    "session",
                                                    "style",
                                                    "stylesheet",
                                                    "display",
                                                    "name",
                                                    "visual"};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "sync",
                                         "nograb",  "dograb",      "testability"};
constexpr std::string_view kQtAssignments[] = {"style=", "stylesheet=", "qmljsdebugger="};

template <size_t N> bool isOneOf(std::string_view name, const std::string_view (&in)[N]) {
    return std::find(std::begin(in), std::end(in), name) != std::end(in);
}

bool isQtAssignment(std::string_view name) {
    return std::any_of(std::begin(kQtAssignments), std::end(kQtAssignments),
                       [name](std::string_view prefix) { return name.starts_with(prefix); });
}

} // namespace

std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out,
                                     std::ostream& err) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return 0;
        }
        if (arg == "--version") {
            out << "kestrix " << KESTRIX_VERSION << "\n";
            return 0;
        }
        if (arg.size() < 2 || arg[0] != '-')
            continue; // the file to open
        std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
        if (isOneOf(name, kQtOptionsWithValue))
            ++i;
        else if (!isOneOf(name, kQtFlags) && !isQtAssignment(name)) {
            err << "kestrix: unknown option " << arg << " (see 'kestrix --help')\n";
            return 2;
        }
    }
    return std::nullopt;
}

} // namespace kestrix::gui
