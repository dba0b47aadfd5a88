// The window's own commands: copying the picture to the clipboard, saving it as a picture file,
// opening the address in the web browser and the help file, and the window-wide menu items
// (settings, address bar, macro editor, about, exit, the pop-up's Select). It owns their actions;
// what only the window can do it reaches through hooks.
#pragma once

#include "core/image/Bitmap.h"
#include "core/ui/Dialogs.h"
#include "gui/CommandActions.h"

#include <QObject>
#include <functional>
#include <string>

class QAction;

namespace kestrix::gui {

// Hands a URL (or a file's URL) to the desktop; false when the desktop could not open it.
using DesktopOpener = std::function<bool(const std::string& url)>;
DesktopOpener systemDesktopOpener();

struct WindowCommandHooks {
    std::function<const Bitmap&()> shownPicture;
    std::function<std::string()> expandedAddress;
    std::function<std::string()> helpFile;
    std::function<std::string()> manualFile; // empty: none installed
    Command editAddressMacros;
    Command showSettings;
    Command saveSettings;
    Command showAbout;
    Command selectAndLoad;
    Command exit;
    std::function<void(bool shown)> showAddressBar;
};

class WindowCommands : public QObject {
    Q_OBJECT
public:
    struct Actions {
        QAction* saveBitmap;
        QAction* savePicture;
        QAction* exit;
        QAction* copyImage;
        QAction* editAddressMacros;
        QAction* viewWithBrowser;
        QAction* settings;
        QAction* addressBar; // checked while the address bar shows
        QAction* saveSettings;
        QAction* helpContents;
        QAction* about;
        QAction* select; // the tree's pop-up menu
    };

    WindowCommands(Dialogs& dialogs, DesktopOpener opener, WindowCommandHooks hooks,
                   const CommandRunner& run, QObject* parent = nullptr);

    const Actions& actions() const { return actions_; }

    void copyImage(const Bitmap& shown);
    // The picture on display, adjustments included, as a BMP file in its own pixel format.
    void saveBitmap(const Bitmap& shown);
    // The same picture as PNG or JPEG, by the chosen name's extension (the dialog's file type
    // adds one to a name typed without).
    void savePicture(const Bitmap& shown);
    // The expanded address, when it is a web address, to the desktop's browser.
    void viewWithBrowser(const std::string& expandedAddress);
    // The help file when it exists, otherwise the manual at `section`; neither is an error that
    // names the help file.
    void openHelp(const std::string& helpFile, const std::string& manual,
                  const std::string& section);

private:
    void shellOpen(const std::string& target);

    Dialogs& dialogs_;
    DesktopOpener open_;
    WindowCommandHooks hooks_;
    Actions actions_;
};

} // namespace kestrix::gui
