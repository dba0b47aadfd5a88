// TForm1's dialogs and the binding of the tree-editing and desktop commands to their menu items,
// pop-up items and speed buttons.
#include "MainWindow.h"

#include "AboutDialog.h"
#include "PicturePanel.h"
#include "QtText.h"
#include "SettingsDialog.h"
#include "WindowCommands.h"
#include "acquire/AcquisitionBars.h"
#include "links/FindDialog.h"
#include "links/LinkEditCommands.h"
#include "links/LinkPane.h"
#include "links/NodeEditDialog.h"
#include "macros/MacroEditDialog.h"
#include "widgets/PictureView.h"

#include <QAction>
#include <QLabel>
#include <QToolButton>

namespace kestrix::gui {

void TForm1::createDialogs() {
    aboutDlg_ = new TAboutDlg(this);
    settingsDlg_ = new TSettingsDlg(dialogs_, this);
    nodeEditDlg_ = new TNodeEditDlg(this);
    macroEditDlg_ = new TMacroEditDlg(dialogs_, clock_, fs_, this);
    nodeEditDlg_->editMacros = [this](std::string& address) { return EditMacros(address); };
    findDialog_ = new FindDialog(this);
    // The help file has no topics of its own; a dialog's Help opens it at its contents.
    connect(settingsDlg_, &TSettingsDlg::helpRequested, this, &TForm1::openHelp);
    connect(macroEditDlg_, &TMacroEditDlg::helpRequested, this, &TForm1::openHelp);
    LinkEditHooks hooks;
    hooks.makeCurrent = [this](const LinkNode* link) { makeCurrent(link); };
    hooks.editMacros = [this](std::string& address) { return EditMacros(address); };
    hooks.addressText = [this] { return addressBar_->text(); };
    linkEdit_ = new LinkEditCommands(*links_, *linkPane_, *nodeEditDlg_, *findDialog_, dialogs_,
                                     std::move(hooks), this);
}

void TForm1::openHelp() {
    runCommand([this] { windowCommands_->HelpContents(fromQ(helpFile_)); });
}

bool TForm1::EditMacros(std::string& address) { return macroEditDlg_->EditURLMacros(address); }

void TForm1::makeCurrent(const LinkNode* link) {
    CurrentLink = {link->text(), link->data().URL, link->data().Delay};
    addressBar_->setText(CurrentLink.URL);
    UpdateMainCaption();
}

void TForm1::wireEditing() {
    // The controls of one command share its handler; the commands check the node kind themselves.
    struct Binding {
        std::vector<const char*> actions;
        QAbstractButton* button;
        std::function<void()> command;
    };
    const Binding bindings[] = {
        {{"AddFolderMnu", "PopAddFolderMnu"}, linkPane_->folderButton(), [this] { linkEdit_->AddFolder(); }},
        {{"AddLinkMnu", "PopAddLinkMnu"}, linkPane_->linkButton(), [this] { linkEdit_->AddLink(); }},
        {{"DeleteNodeMnu", "PopDeleteNodeMnu"}, linkPane_->deleteButton(), [this] { linkEdit_->Delete(); }},
        {{"EditNodeMnu", "PopEditNodeMnu"}, nullptr, [this] { linkEdit_->Edit(); }},
        {{"EditMacrosMnu", "PopEditMacrosMnu"}, nullptr, [this] { linkEdit_->EditMacros(); }},
        {{"MoveUp1"}, linkPane_->moveUpButton(), [this] { linkEdit_->MoveUp(); }},
        {{"MoveDown1"}, linkPane_->moveDownButton(), [this] { linkEdit_->MoveDown(); }},
        {{"SearchLinks1", "Find1"}, linkPane_->findButton(), [this] { linkEdit_->Search(); }},
    };
    for (const Binding& b : bindings) {
        auto run = [this, command = b.command] { runCommand(command); };
        for (const char* name : b.actions)
            connect(action(name), &QAction::triggered, this, run);
        if (b.button)
            connect(b.button, &QAbstractButton::clicked, this, run);
    }
}

void TForm1::wireWindowCommands() {
    windowCommands_ = std::make_unique<WindowCommands>(
        dialogs_, options_.openUrl ? options_.openUrl : systemDesktopOpener());
    const Bitmap& shown = picture_->Image1->picture();
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"CopyMnu", [this, &shown] { windowCommands_->CopyImage(shown); }},
        {"SaveBitmapMnu", [this, &shown] { windowCommands_->SaveBitmap(shown); }},
        {"ViewWithBrowserMnu", [this] { windowCommands_->ViewWithBrowser(ExpandAddressBar()); }},
        {"HelpContentsMnu", [this] { windowCommands_->HelpContents(fromQ(helpFile_)); }},
        {"AboutMnu", [this] { aboutDlg_->exec(); }},
        {"SettingsMnu", [this] { settingsDlg_->ShowSettingsDialog(settings_); }},
        {"MacroEditorMnu", [this] {
             std::string address = addressBar_->text();
             // Taking the edited text counts as editing the address bar.
             if (EditMacros(address)) {
                 addressBar_->setText(address);
                 CurrentLink.URL = address;
                 picture_->CurrentLinkDis->clear();
             }
         }},
    };
    for (const auto& [name, command] : commands)
        connect(action(name), &QAction::triggered, this, [this, command] { runCommand(command); });
}

} // namespace kestrix::gui
