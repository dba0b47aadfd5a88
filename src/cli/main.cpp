// kestrix-cli: the core of Kestrix for scripts, one subcommand per capability.
#include "cli/CliCommand.h"
#include "core/util/Text.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <iostream>
#include <malloc.h>

using namespace kestrix;

namespace kestrix::cli {

namespace {

std::vector<Command>& registry() {
    static std::vector<Command> list;
    return list;
}

int& exitCode() {
    static int code = 0;
    return code;
}

// "kestrix-cli frames flaws" for the deepest subcommand the command line reached.
std::string commandPath(const CLI::App& app) {
    std::string path = app.get_name();
    const CLI::App* at = &app;
    while (!at->get_subcommands().empty()) {
        at = at->get_subcommands().front();
        path += " " + at->get_name();
    }
    return path;
}

} // namespace

Registration::Registration(const Command& command) {
    auto& list = registry();
    auto at = std::find_if(list.begin(), list.end(),
                           [&](const Command& c) { return std::string(c.name) > command.name; });
    list.insert(at, command);
}

const std::vector<Command>& commands() {
    return registry();
}

void onRun(CLI::App& command, std::function<int()> work) {
    command.callback([work = std::move(work)] { exitCode() = work(); });
}

void addExample(CLI::App& command, const std::string& example) {
    command.footer("Example:\n  " + example);
}

// A number the checks below accept: finite and within [lowest, highest] (lowest itself only when
// `includeLowest`).
CLI::Validator numberCheck(double lowest, double highest, bool includeLowest,
                           const std::string& range) {
    return {[=](const std::string& text) {
                double value = 0;
                const bool ok = CLI::detail::lexical_cast(text, value) && std::isfinite(value) &&
                                (includeLowest ? value >= lowest : value > lowest) &&
                                value <= highest;
                return ok ? std::string() : "takes a number " + range + ", not " + text;
            },
            "NUMBER " + range};
}

CLI::Validator aboveZero() {
    return numberCheck(0, HUGE_VAL, false, "above 0");
}

CLI::Validator between(double lowest, double highest) {
    return numberCheck(lowest, highest, true, strPrintf("from %g to %g", lowest, highest));
}

void defineCommandLine(CLI::App& app) {
    app.description("Kestrix for scripts: fetches, decodes, compares, converts and exports the "
                    "pictures of web cameras, and watches cameras without a window.");
    app.set_version_flag("--version", std::string("kestrix-cli ") + KESTRIX_VERSION,
                         "Print the version and exit");
    app.require_subcommand(1);
    app.footer("Run 'kestrix-cli SUBCOMMAND --help' for what a subcommand does and its "
               "options.");
    for (const Command& c : commands())
        c.define(*app.add_subcommand(c.name));
}

bool ConsoleDialogs::askYesNo(const std::string& text, MessageIcon) {
    std::cerr << text << " (answered No)\n";
    return false;
}

Answer ConsoleDialogs::askYesNoCancel(const std::string& text) {
    std::cerr << text << " (answered Cancel)\n";
    return Answer::Cancel;
}

void ConsoleDialogs::showMessage(const std::string& text, MessageIcon) {
    std::cerr << text << "\n";
}

} // namespace kestrix::cli

int main(int argc, char** argv) {
    // Frames of a few megabytes are allocated and freed many times a second. Keeping freed memory
    // for the next frame spares the kernel mapping and zeroing fresh pages for every one.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    CLI::App app("", "kestrix-cli");
    cli::defineCommandLine(app);
    // Checked before parsing: "NOSUCH --help" would otherwise print the main help and succeed.
    const auto& known = cli::commands();
    if (argc > 1 && argv[1][0] != '-' &&
        std::none_of(known.begin(), known.end(),
                     [&](const cli::Command& c) { return std::string(c.name) == argv[1]; })) {
        std::cerr << "Unknown command: " << argv[1] << " (see 'kestrix-cli --help')\n";
        return 2;
    }
    try {
        app.parse(argc, argv);
        return cli::exitCode();
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        // Help is an "error" with exit code 0.
        if (e.get_exit_code() == 0)
            return app.exit(e);
        std::cerr << cli::commandPath(app) << ": " << e.what() << " (see '" << cli::commandPath(app)
                  << " --help')\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
