#include "gui/WindowCommands.h"

#include "core/image/BmpCodec.h"
#include "core/image/ImageFile.h"
#include "core/ui/ShellOpen.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "gui/BitmapQt.h"
#include "gui/QtText.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QUrl>

namespace kestrix::gui {

DesktopOpener systemDesktopOpener() {
    return [](const std::string& url) { return QDesktopServices::openUrl(QUrl(toQ(url))); };
}

WindowCommands::WindowCommands(Dialogs& dialogs, DesktopOpener opener, WindowCommandHooks hooks,
                               const CommandRunner& run, QObject* parent)
    : QObject(parent), dialogs_(dialogs), open_(std::move(opener)), hooks_(std::move(hooks)) {
    auto action = [this, &run](const char* name, const char* caption, Command command) {
        return commandAction(this, name, caption, run, std::move(command));
    };
    actions_ = {
        action("SaveBitmapMnu", "Save &Bitmap...", [this] { saveBitmap(hooks_.shownPicture()); }),
        action("SavePictureMnu", "Save &Picture As...",
               [this] { savePicture(hooks_.shownPicture()); }),
        action("ExitMnu", "E&xit", hooks_.exit),
        action("CopyMnu", "&Copy Image", [this] { copyImage(hooks_.shownPicture()); }),
        action("MacroEditorMnu", "&Address Bar - Edit Macros...", hooks_.editAddressMacros),
        action("ViewWithBrowserMnu", "View With Browser",
               [this] { viewWithBrowser(hooks_.expandedAddress()); }),
        action("SettingsMnu", "&Settings...", hooks_.showSettings),
        namedAction(this, "AddressBarMnu", "Address Bar"),
        action("SaveSettingsMnu", "Save Settings", hooks_.saveSettings),
        action("HelpContentsMnu", "&Contents",
               [this] { openHelp(hooks_.helpFile(), hooks_.manualFile(), "contents"); }),
        action("AboutMnu", "&About...", hooks_.showAbout),
        action("Select1", "&Select", hooks_.selectAndLoad)};
    actions_.addressBar->setCheckable(true);
    actions_.addressBar->setChecked(true);
    connect(actions_.addressBar, &QAction::toggled, this,
            [this](bool shown) { hooks_.showAddressBar(shown); });
}

void WindowCommands::copyImage(const Bitmap& shown) {
    QGuiApplication::clipboard()->setImage(imageFromBitmap(shown));
}

namespace {

// The save dialog of a picture file, in the current folder, asking before it overwrites.
FileDialogOptions pictureDialog(const char* title, const char* filter, const char* extension) {
    FileDialogOptions o;
    o.title = title;
    o.filter = filter;
    o.defaultExtension = extension;
    o.initialDir = fromQ(QDir::currentPath());
    o.overwritePrompt = true;
    return o;
}

} // namespace

void WindowCommands::saveBitmap(const Bitmap& shown) {
    if (auto name = dialogs_.saveFile(
            pictureDialog("Save Current Image", "Bitmaps (*.bmp)|*.bmp|All Files|*.*", "bmp")))
        saveBmpFile(shown, *name);
}

void WindowCommands::savePicture(const Bitmap& shown) {
    if (auto name = dialogs_.saveFile(
            pictureDialog("Save Picture As",
                          "PNG Picture (*.png)|*.png|JPEG Picture (*.jpg)|*.jpg;*.jpeg", "png")))
        saveImageFile(shown, *name);
}

void WindowCommands::shellOpen(const std::string& target) {
    // The desktop reports no reason; it most often means no program takes the address.
    if (!open_(target))
        throw Error(shellErrorText(kShellNoAssociation));
}

void WindowCommands::viewWithBrowser(const std::string& expandedAddress) {
    shellOpen(browserAddress(expandedAddress));
}

void WindowCommands::openHelp(const std::string& helpFile, const std::string& manual,
                              const std::string& section) {
    if (fileExists(helpFile)) {
        shellOpen(fromQ(QUrl::fromLocalFile(toQ(helpFile)).toString()));
        return;
    }
    if (manual.empty() || !fileExists(manual))
        throw Error("The help file " + helpFile + " is missing");
    QUrl url = QUrl::fromLocalFile(toQ(manual));
    url.setFragment(toQ(section));
    shellOpen(fromQ(url.toString()));
}

} // namespace kestrix::gui
