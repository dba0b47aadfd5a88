// Every question, notice and file dialog goes through this interface: the GUI shows real boxes,
// tests answer from a script, the command line never asks.
#pragma once

#include <optional>
#include <string>

namespace kestrix {

enum class MessageIcon { Information, Warning, Error, Confirmation };
enum class Answer { Yes, No, Cancel };

struct FileDialogOptions {
    std::string title;    // empty: the dialog's own title
    std::string fileName; // preset name, such as "*.klnx"
    std::string filter;   // "Name|*.ext|Name|*.*"
    std::string initialDir;
    std::string defaultExtension; // added to a name typed without one ("bmp")
    bool overwritePrompt = false;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A question with Yes and No buttons; true for Yes.
    virtual bool askYesNo(const std::string& text, MessageIcon icon) = 0;
    virtual Answer askYesNoCancel(const std::string& text) = 0;
    // A notice with an OK button.
    virtual void showMessage(const std::string& text, MessageIcon icon) = 0;
    virtual std::optional<std::string> openFile(const FileDialogOptions& options) = 0;
    virtual std::optional<std::string> saveFile(const FileDialogOptions& options) = 0;
    // A folder picked by the user (options: the title and the folder shown first); none when
    // cancelled or where no one can pick.
    virtual std::optional<std::string> chooseFolder(const FileDialogOptions& /*options*/) {
        return std::nullopt;
    }
};

} // namespace kestrix
