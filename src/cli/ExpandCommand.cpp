// kestrix-cli expand: an address with its date and counter macros expanded.
#include "cli/CliCommand.h"
#include "core/macros/URLMacros.h"
#include "core/util/Error.h"

#include <iostream>
#include <memory>

namespace kestrix::cli {

namespace {

int runExpand(const Args& args) {
    const Command& self = findCommand("expand");
    std::unique_ptr<Clock> clock = std::make_unique<SystemClock>();
    std::string text;
    bool haveText = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--at" && i + 1 < args.size()) {
            auto at = parseIsoDateTime(args[++i]);
            if (!at)
                throw Error("Invalid time: " + args[i] + " (expected 2026-12-08T14:05:09.250Z)");
            clock = std::make_unique<FixedClock>(*at);
        } else if (!haveText) {
            text = args[i];
            haveText = true;
        } else {
            usageError(self);
        }
    }
    if (!haveText)
        usageError(self);
    std::cout << expandUrlMacros(text, *clock, defaultFormatSettings()) << "\n";
    return 0;
}

const Registration kRegistration({"expand", "expand [--at ISO-8601-UTC-TIME] TEXT", runExpand});

} // namespace

} // namespace kestrix::cli
