#include "gui/WindowCommands.h"

#include "gui/BitmapQt.h"
#include "gui/QtText.h"
#include "core/image/BmpCodec.h"
#include "core/ui/ShellOpen.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QUrl>

namespace kestrix::gui {

DesktopOpener systemDesktopOpener() {
    return [](const std::string& url) { return QDesktopServices::openUrl(QUrl(toQ(url))); };
}

void WindowCommands::copyImage(const Bitmap& shown) {
    QGuiApplication::clipboard()->setImage(imageFromBitmap(shown));
}

void WindowCommands::saveBitmap(const Bitmap& shown) {
    FileDialogOptions o;
    o.title = "Save Current Image";
    o.filter = "Bitmaps (*.bmp)|*.bmp|All Files|*.*";
    o.defaultExtension = "bmp";
    o.initialDir = fromQ(QDir::currentPath());
    o.overwritePrompt = true;
    if (auto name = dialogs_.saveFile(o))
        writeFileAtomically(*name, writeBmp(shown));
}

void WindowCommands::shellOpen(const std::string& target) {
    // The desktop reports no reason; it most often means no program takes the address.
    if (!open_(target))
        throw Error(shellErrorText(kShellNoAssociation));
}

void WindowCommands::viewWithBrowser(const std::string& expandedAddress) {
    shellOpen(browserAddress(expandedAddress));
}

void WindowCommands::helpContents(const std::string& helpFile) {
    if (!fileExists(helpFile))
        throw Error("The help file " + helpFile + " is missing");
    shellOpen(fromQ(QUrl::fromLocalFile(toQ(helpFile)).toString()));
}

} // namespace kestrix::gui
