#include "WindowCommands.h"

#include "BitmapQt.h"
#include "QtText.h"
#include "image/BmpCodec.h"
#include "ui/ShellOpen.h"
#include "util/Error.h"
#include "util/FileIO.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QUrl>

namespace kestrix::gui {

DesktopOpener systemDesktopOpener() {
    return [](const std::string& url) { return QDesktopServices::openUrl(QUrl(toQ(url))); };
}

void WindowCommands::CopyImage(const Bitmap& shown) {
    QGuiApplication::clipboard()->setImage(imageFromBitmap(shown));
}

void WindowCommands::SaveBitmap(const Bitmap& shown) {
    FileDialogOptions o;
    o.title = "Save Current Image";
    o.filter = "Bitmaps (*.bmp)|*.bmp|All Files|*.*";
    o.defaultExtension = "bmp";
    o.initialDir = fromQ(QDir::currentPath());
    o.overwritePrompt = true;
    if (auto name = dialogs_.saveFile(o))
        writeFileAtomically(*name, writeBmp(shown));
}

void WindowCommands::ShellOpen(const std::string& target) {
    // The desktop reports no reason; it most often means no program takes the address.
    if (!open_(target))
        throw Error(ShellErrorText(kShellNoAssociation));
}

void WindowCommands::ViewWithBrowser(const std::string& expandedAddress) {
    ShellOpen(browserAddress(expandedAddress));
}

void WindowCommands::HelpContents(const std::string& helpFile) {
    if (!fileExists(helpFile))
        throw Error("The help file " + helpFile + " is missing");
    ShellOpen(fromQ(QUrl::fromLocalFile(toQ(helpFile)).toString()));
}

} // namespace kestrix::gui
