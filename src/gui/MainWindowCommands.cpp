// MainWindow's dialogs and command features: each feature owns its actions, and the menus only
// place them.
#include "gui/AboutDialog.h"
#include "gui/HelpFiles.h"
#include "gui/MainMenus.h"
#include "gui/MainWindow.h"
#include "gui/PicturePanel.h"
#include "gui/QtText.h"
#include "gui/SettingsDialog.h"
#include "gui/WindowCommands.h"
#include "gui/acquire/AcquisitionBars.h"
#include "gui/frames/FrameFileCommands.h"
#include "gui/links/FindDialog.h"
#include "gui/links/LinkEditCommands.h"
#include "gui/links/LinkFileCommands.h"
#include "gui/links/LinkPane.h"
#include "gui/links/LinkTreeModel.h"
#include "gui/links/NodeEditDialog.h"
#include "gui/macros/MacroEditorDialog.h"
#include "gui/movie/MovieCommands.h"
#include "gui/widgets/PictureView.h"

#include <QLabel>

namespace kestrix::gui {

void MainWindow::createDialogs() {
    aboutDlg_ = new AboutDialog(this);
    settingsDlg_ = new SettingsDialog(dialogs_, this);
    nodeEditDlg_ = new NodeEditDialog(this);
    macroEditDlg_ = new MacroEditorDialog(dialogs_, clock_, fs_, this);
    nodeEditDlg_->editMacros = [this](std::string& address) { return editMacros(address); };
    findDialog_ = new FindDialog(this);
    // A dialog's Help opens the help file at its contents, or the manual at the dialog's section.
    connect(settingsDlg_, &SettingsDialog::helpRequested, this, &MainWindow::openHelp);
    connect(macroEditDlg_, &MacroEditorDialog::helpRequested, this, &MainWindow::openHelp);
}

void MainWindow::createFeatures() {
    const CommandRunner run = [this](const Command& command) { runCommand(command); };
    frameFiles_ = new FrameFileCommands(*frameStore_, *acquisition_, *gauge_, dialogs_, run, this);
    movies_ =
        new MovieCommands(*frameStore_, *acquisition_, *gauge_, dialogs_, settings_, run, this);
    // After Load Links the current link and the address bar follow the new tree, as at start.
    linkFiles_ = new LinkFileCommands(
        *links_, *linkPane_->model(), [this] { useSelectedLink(); }, run, this);

    LinkEditHooks linkHooks;
    linkHooks.makeCurrent = [this](const LinkNode* link) { makeCurrent(link); };
    linkHooks.editMacros = [this](std::string& address) { return editMacros(address); };
    linkHooks.addressText = [this] { return addressBar_->text(); };
    linkEdit_ = new LinkEditCommands(*links_, *linkPane_, *nodeEditDlg_, *findDialog_, dialogs_,
                                     std::move(linkHooks), run, this);

    WindowCommandHooks hooks;
    hooks.shownPicture = [this]() -> const Bitmap& { return picture_->pictureView->picture(); };
    hooks.expandedAddress = [this] { return expandAddressBar(); };
    hooks.helpFile = [this] { return fromQ(helpFile_); };
    hooks.manualFile = [this] { return fromQ(manualFile_); };
    hooks.editAddressMacros = [this] { editAddressMacros(); };
    hooks.showSettings = [this] { settingsDlg_->showSettingsDialog(settings_); };
    hooks.saveSettings = [this] {
        writeSettings(ini_, settings_, links_->tree().absoluteIndex(links_->tree().selected()),
                      fs_);
    };
    hooks.showAbout = [this] { aboutDlg_->exec(); };
    hooks.selectAndLoad = [this] { selectAndLoad(); };
    hooks.exit = [this] { close(); };
    hooks.showAddressBar = [this](bool shown) { addressBar_->setVisible(shown); };
    windowCommands_ =
        new WindowCommands(dialogs_, options_.openUrl ? options_.openUrl : systemDesktopOpener(),
                           std::move(hooks), run, this);
}

void MainWindow::buildMenus() {
    const MenuActions actions{linkFiles_->actions(), linkEdit_->actions(), frameFiles_->actions(),
                              movies_->actions(), windowCommands_->actions()};
    buildMainMenu(this, actions);
    treePopup_ = buildTreePopup(this, actions);
}

void MainWindow::openHelp(int topic) {
    runCommand([this, topic] {
        windowCommands_->openHelp(fromQ(helpFile_), fromQ(manualFile_), fromQ(helpSection(topic)));
    });
}

bool MainWindow::editMacros(std::string& address) {
    return macroEditDlg_->editUrlMacros(address);
}

void MainWindow::editAddressMacros() {
    std::string address = addressBar_->text();
    // Taking the edited text counts as editing the address bar.
    if (editMacros(address)) {
        addressBar_->setText(address);
        currentLink_.url = address;
        picture_->currentLinkDis->clear();
    }
}

void MainWindow::makeCurrent(const LinkNode* link) {
    currentLink_ = {link->text(), link->data().url, link->data().delay};
    addressBar_->setText(currentLink_.url);
    updateMainCaption();
}

} // namespace kestrix::gui
