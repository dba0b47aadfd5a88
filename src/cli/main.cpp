// kestrix-cli: the core of Kestrix for scripts, one subcommand per capability.
#include "cli/CliCommand.h"
#include "core/util/Error.h"

#include <algorithm>
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

const Command& findCommand(const std::string& name) {
    for (const Command& c : commands())
        if (name == c.name)
            return c;
    throw Error("Unknown command: " + name);
}

void usageError(const Command& command) {
    throw Error(std::string("usage: kestrix-cli ") + command.usage);
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

namespace {

void printHelp(std::ostream& out) {
    out << "usage: kestrix-cli SUBCOMMAND [options] ARGS\n       kestrix-cli --version\n\n"
           "subcommands:\n";
    for (const auto& c : cli::commands())
        out << "  " << c.usage << "\n";
}

} // namespace

int main(int argc, char** argv) {
    // Frames of a few megabytes are allocated and freed many times a second. Keeping freed memory
    // for the next frame spares the kernel mapping and zeroing fresh pages for every one.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    cli::Args args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--version") {
        std::cout << "kestrix-cli " << KESTRIX_VERSION << "\n";
        return 0;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        printHelp(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 1 : 0;
    }
    try {
        const cli::Command& command = cli::findCommand(args[0]);
        cli::Args rest(args.begin() + 1, args.end());
        if (!rest.empty() && (rest[0] == "--help" || rest[0] == "-h")) {
            std::cout << "usage: kestrix-cli " << command.usage << "\n";
            return 0;
        }
        return command.run(rest);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
