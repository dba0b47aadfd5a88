// The subcommands of kestrix-cli. Each subcommand's file registers a `define` function that gives
// its CLI11 subcommand a description, options and an example, and says with `onRun` what to do
// once the command line is parsed. Errors of the work are raised as kestrix::Error; main prints
// them and exits with code 1 (code 2 is kept for command lines it cannot understand).
#pragma once

#include "core/ui/Dialogs.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

namespace kestrix::cli {

struct Command {
    const char* name;
    void (*define)(CLI::App& command);
};

// Every subcommand, sorted by name.
const std::vector<Command>& commands();

struct Registration {
    explicit Registration(const Command& command);
};

// `work` runs when the command line names `command`; its answer is the program's exit code.
void onRun(CLI::App& command, std::function<int()> work);
// Ends the subcommand's help with an example command line.
void addExample(CLI::App& command, const std::string& example);
// Accepts finite numbers above 0, or from `lowest` to `highest`; the refusal names the range.
CLI::Validator aboveZero();
CLI::Validator between(double lowest, double highest);
// Builds the whole command line of kestrix-cli.
void defineCommandLine(CLI::App& app);

// Notices go to stderr; questions are answered "No"/"Cancel"; file dialogs are cancelled.
class ConsoleDialogs final : public Dialogs {
public:
    bool askYesNo(const std::string& text, MessageIcon) override;
    Answer askYesNoCancel(const std::string& text) override;
    void showMessage(const std::string& text, MessageIcon) override;
    std::optional<std::string> openFile(const FileDialogOptions&) override { return {}; }
    std::optional<std::string> saveFile(const FileDialogOptions&) override { return {}; }
};

} // namespace kestrix::cli
