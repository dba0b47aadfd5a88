// The window's small commands that reach outside it: copying the picture to the clipboard, saving
// it as a bitmap file, opening the address in the web browser, and opening the help file.
#pragma once

#include "core/image/Bitmap.h"
#include "core/ui/Dialogs.h"

#include <functional>
#include <string>

namespace kestrix::gui {

// Hands a URL (or a file's URL) to the desktop; false when the desktop could not open it.
using DesktopOpener = std::function<bool(const std::string& url)>;
DesktopOpener systemDesktopOpener();

class WindowCommands {
public:
    WindowCommands(Dialogs& dialogs, DesktopOpener opener) : dialogs_(dialogs), open_(std::move(opener)) {}

    void copyImage(const Bitmap& shown);
    // The picture on display, adjustments included, as a BMP file in its own pixel format.
    void saveBitmap(const Bitmap& shown);
    // The expanded address, when it is a web address, to the desktop's browser.
    void viewWithBrowser(const std::string& expandedAddress);
    void helpContents(const std::string& helpFile);

private:
    void shellOpen(const std::string& target);

    Dialogs& dialogs_;
    DesktopOpener open_;
};

} // namespace kestrix::gui
