// MainWindow's dialogs and the binding of the tree-editing and desktop commands to their menu items,
// pop-up items and speed buttons.
#include "gui/MainWindow.h"

#include "gui/AboutDialog.h"
#include "gui/PicturePanel.h"
#include "gui/QtText.h"
#include "gui/SettingsDialog.h"
#include "gui/WindowCommands.h"
#include "gui/acquire/AcquisitionBars.h"
#include "gui/links/FindDialog.h"
#include "gui/links/LinkEditCommands.h"
#include "gui/links/LinkPane.h"
#include "gui/links/NodeEditDialog.h"
#include "gui/macros/MacroEditorDialog.h"
#include "gui/widgets/PictureView.h"

#include <QAction>
#include <QLabel>
#include <QToolButton>

namespace kestrix::gui {

void MainWindow::createDialogs() {
    aboutDlg_ = new AboutDialog(this);
    settingsDlg_ = new SettingsDialog(dialogs_, this);
    nodeEditDlg_ = new NodeEditDialog(this);
    macroEditDlg_ = new MacroEditorDialog(dialogs_, clock_, fs_, this);
    nodeEditDlg_->editMacros = [this](std::string& address) { return editMacros(address); };
    findDialog_ = new FindDialog(this);
    // The help file has no topics of its own; a dialog's Help opens it at its contents.
    connect(settingsDlg_, &SettingsDialog::helpRequested, this, &MainWindow::openHelp);
    connect(macroEditDlg_, &MacroEditorDialog::helpRequested, this, &MainWindow::openHelp);
    LinkEditHooks hooks;
    hooks.makeCurrent = [this](const LinkNode* link) { makeCurrent(link); };
    hooks.editMacros = [this](std::string& address) { return editMacros(address); };
    hooks.addressText = [this] { return addressBar_->text(); };
    linkEdit_ = new LinkEditCommands(*links_, *linkPane_, *nodeEditDlg_, *findDialog_, dialogs_,
                                     std::move(hooks), this);
}

void MainWindow::openHelp() {
    runCommand([this] { windowCommands_->helpContents(fromQ(helpFile_)); });
}

bool MainWindow::editMacros(std::string& address) { return macroEditDlg_->editUrlMacros(address); }

void MainWindow::makeCurrent(const LinkNode* link) {
    currentLink_ = {link->text(), link->data().url, link->data().delay};
    addressBar_->setText(currentLink_.url);
    updateMainCaption();
}

void MainWindow::wireEditing() {
    // The controls of one command share its handler; the commands check the node kind themselves.
    struct Binding {
        std::vector<const char*> actions;
        QAbstractButton* button;
        std::function<void()> command;
    };
    const Binding bindings[] = {
        {{"AddFolderMnu", "PopAddFolderMnu"}, linkPane_->folderButton(), [this] { linkEdit_->addFolder(); }},
        {{"AddLinkMnu", "PopAddLinkMnu"}, linkPane_->linkButton(), [this] { linkEdit_->addLink(); }},
        {{"DeleteNodeMnu", "PopDeleteNodeMnu"}, linkPane_->deleteButton(), [this] { linkEdit_->deleteNode(); }},
        {{"EditNodeMnu", "PopEditNodeMnu"}, nullptr, [this] { linkEdit_->edit(); }},
        {{"EditMacrosMnu", "PopEditMacrosMnu"}, nullptr, [this] { linkEdit_->editMacros(); }},
        {{"MoveUp1"}, linkPane_->moveUpButton(), [this] { linkEdit_->moveUp(); }},
        {{"MoveDown1"}, linkPane_->moveDownButton(), [this] { linkEdit_->moveDown(); }},
        {{"SearchLinks1", "Find1"}, linkPane_->findButton(), [this] { linkEdit_->search(); }},
    };
    for (const Binding& b : bindings) {
        auto run = [this, command = b.command] { runCommand(command); };
        for (const char* name : b.actions)
            connect(action(name), &QAction::triggered, this, run);
        if (b.button)
            connect(b.button, &QAbstractButton::clicked, this, run);
    }
}

void MainWindow::wireWindowCommands() {
    windowCommands_ = std::make_unique<WindowCommands>(
        dialogs_, options_.openUrl ? options_.openUrl : systemDesktopOpener());
    const Bitmap& shown = picture_->pictureView->picture();
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"CopyMnu", [this, &shown] { windowCommands_->copyImage(shown); }},
        {"SaveBitmapMnu", [this, &shown] { windowCommands_->saveBitmap(shown); }},
        {"ViewWithBrowserMnu", [this] { windowCommands_->viewWithBrowser(expandAddressBar()); }},
        {"HelpContentsMnu", [this] { windowCommands_->helpContents(fromQ(helpFile_)); }},
        {"AboutMnu", [this] { aboutDlg_->exec(); }},
        {"SettingsMnu", [this] { settingsDlg_->showSettingsDialog(settings_); }},
        {"MacroEditorMnu", [this] {
             std::string address = addressBar_->text();
             // Taking the edited text counts as editing the address bar.
             if (editMacros(address)) {
                 addressBar_->setText(address);
                 currentLink_.url = address;
                 picture_->currentLinkDis->clear();
             }
         }},
    };
    for (const auto& [name, command] : commands)
        connect(action(name), &QAction::triggered, this, [this, command] { runCommand(command); });
}

} // namespace kestrix::gui
