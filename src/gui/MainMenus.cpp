#include "gui/MainMenus.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace kestrix::gui {

namespace {

// A null entry is a separator.
void addActions(QMenu* menu, std::initializer_list<QAction*> actions) {
    for (QAction* action : actions) {
        if (action)
            menu->addAction(action);
        else
            menu->addSeparator();
    }
}

QMenu* addMenu(QMenuBar* bar, const char* caption, const char* name) {
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(name);
    return menu;
}

constexpr QAction* kSeparator = nullptr;

} // namespace

void buildMainMenu(QMainWindow* window, const MenuActions& a) {
    QMenuBar* bar = window->menuBar();
    addActions(addMenu(bar, "&File", "File1"),
               {a.linkFiles.loadLinks, a.linkFiles.insertLinks, kSeparator, a.linkFiles.saveLinks,
                a.linkFiles.saveLinksAs, a.linkFiles.saveSelectedBranch, kSeparator,
                a.window.saveBitmap, a.window.savePicture, kSeparator, a.frameFiles.loadFrames,
                a.frameFiles.saveFrames, kSeparator, a.movies.saveAvi, a.movies.saveMp4,
                a.frameFiles.saveAnimatedGif, a.frameFiles.loadAnimatedGif, kSeparator,
                a.window.exit});
    addActions(addMenu(bar, "&Edit", "Edit1"),
               {a.window.copyImage, a.linkEdit.searchLinks, kSeparator, a.window.editAddressMacros,
                a.window.viewWithBrowser});
    addActions(addMenu(bar, "Links", "Links1"),
               {a.linkEdit.addFolder, a.linkEdit.addLink, a.linkEdit.deleteNode, a.linkEdit.edit,
                a.linkEdit.editMacros, kSeparator, a.linkFiles.expandAll, a.linkFiles.collapseAll});
    addActions(addMenu(bar, "&Options", "Options1"),
               {a.window.settings, a.window.addressBar, kSeparator, a.window.saveSettings});
    addActions(addMenu(bar, "&Help", "Help1"), {a.window.helpContents, kSeparator, a.window.about});
}

QMenu* buildTreePopup(QWidget* parent, const MenuActions& a) {
    auto* popup = new QMenu(parent);
    popup->setObjectName("TreePopup");
    addActions(popup,
               {a.window.select, kSeparator, a.linkEdit.popAddFolder, a.linkEdit.popAddLink,
                kSeparator, a.linkEdit.popDeleteNode, a.linkEdit.popEdit, a.linkEdit.popEditMacros,
                kSeparator, a.linkEdit.find, a.linkEdit.moveUp, a.linkEdit.moveDown});
    return popup;
}

} // namespace kestrix::gui
