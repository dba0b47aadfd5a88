// kestrix-cli expand: an address with its date and counter macros expanded.
#include "cli/CliCommand.h"
#include "core/macros/URLMacros.h"
#include "core/util/Error.h"

#include <iostream>
#include <memory>

namespace kestrix::cli {

namespace {

struct ExpandOptions {
    std::string text;
    std::string at;
};

void defineExpand(CLI::App& command) {
    command.description("Expands the <date> and <counter> macros of an address.");
    auto o = std::make_shared<ExpandOptions>();
    command.add_option("TEXT", o->text, "Address or text holding macros")->required();
    command.add_option("--at", o->at,
                       "UTC time to expand for, as 2026-12-08T14:05:09.250Z (default: now)");
    addExample(command, "kestrix-cli expand --at 2026-12-08T14:05:09Z "
                        "'http://cam.example/img<date>0,yyyymmdd_hhnn</date>.jpg'");
    onRun(command, [o] {
        std::unique_ptr<Clock> clock = std::make_unique<SystemClock>();
        if (!o->at.empty()) {
            auto at = parseIsoDateTime(o->at);
            if (!at)
                throw Error("Invalid time: " + o->at + " (expected 2026-12-08T14:05:09.250Z)");
            clock = std::make_unique<FixedClock>(*at);
        }
        std::cout << expandUrlMacros(o->text, *clock, defaultFormatSettings()) << "\n";
        return 0;
    });
}

const Registration kExpandRegistration({"expand", defineExpand});

} // namespace

} // namespace kestrix::cli
