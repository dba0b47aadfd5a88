// The subcommands of kestrix-cli: each takes its arguments (after its own name) and answers an
// exit code. Errors are raised as kestrix::Error and printed by main.
#pragma once

#include "core/ui/Dialogs.h"

#include <iostream>
#include <string>
#include <vector>

namespace kestrix::cli {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;
    int (*run)(const Args& args);
};

// Every subcommand, sorted by name. Each subcommand's file registers itself with a
// `Registration` object.
const std::vector<Command>& commands();

struct Registration {
    explicit Registration(const Command& command);
};

// Raises a usage error for the command.
[[noreturn]] void usageError(const Command& command);
const Command& findCommand(const std::string& name);

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
