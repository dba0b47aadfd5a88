#include "gui/MainMenus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace kestrix::gui {

namespace {

// One menu item: object name and caption; a null name is a separator.
struct Item {
    const char* name;
    const char* caption;
};

void addItems(QMenu* menu, QWidget* owner, std::initializer_list<Item> items) {
    for (const Item& item : items) {
        if (!item.name) {
            menu->addSeparator();
            continue;
        }
        auto* action = new QAction(item.caption, owner);
        action->setObjectName(item.name);
        menu->addAction(action);
    }
}

constexpr Item kSeparator{nullptr, nullptr};

} // namespace

void buildMainMenu(QMainWindow* window) {
    QMenuBar* bar = window->menuBar();
    QMenu* file = bar->addMenu("&File");
    file->setObjectName("File1");
    addItems(file, window,
             {{"LoadLinksMnu", "&Load Links..."}, {"InsertLinksMnu", "Insert Links..."},
              kSeparator, {"SaveLinksMnu", "&Save Links..."},
              {"SaveLinkAsMnu", "Sa&ve Links As..."},
              {"SaveSelectedBranchMnu", "Save Selected Branch..."}, kSeparator,
              {"SaveBitmapMnu", "Save &Bitmap..."}, kSeparator,
              {"LoadFrames1", "Load Frames..."}, {"SaveFrames1", "Save Frames..."}, kSeparator,
              {"SaveAviMnu", "Save &Avi File..."}, {"SaveAnimatedGIFMnu", "Save Animated GIF..."},
              {"LoadAnimatedGIF1", "Load Animated GIF..."}, kSeparator, {"ExitMnu", "E&xit"}});
    QMenu* edit = bar->addMenu("&Edit");
    edit->setObjectName("Edit1");
    addItems(edit, window,
             {{"CopyMnu", "&Copy Image"}, {"SearchLinks1", "&Search Links..."}, kSeparator,
              {"MacroEditorMnu", "&Address Bar - Edit Macros..."},
              {"ViewWithBrowserMnu", "View With Browser"}});
    QMenu* links = bar->addMenu("Links");
    links->setObjectName("Links1");
    addItems(links, window,
             {{"AddFolderMnu", "Add Folder"}, {"AddLinkMnu", "Add Link"},
              {"DeleteNodeMnu", "Delete Item"}, {"EditNodeMnu", "Edit Link"},
              {"EditMacrosMnu", "Edit Macros..."}, kSeparator, {"ExpandAllMnu", "Expand All"},
              {"ContractAllMnu", "Collapse All"}});
    QMenu* options = bar->addMenu("&Options");
    options->setObjectName("Options1");
    addItems(options, window,
             {{"SettingsMnu", "&Settings..."}, {"AddressBarMnu", "Address Bar"}, kSeparator,
              {"SaveSettingsMnu", "Save Settings"}});
    QAction* addressBar = window->findChild<QAction*>("AddressBarMnu");
    addressBar->setCheckable(true);
    addressBar->setChecked(true);
    QMenu* help = bar->addMenu("&Help");
    help->setObjectName("Help1");
    addItems(help, window,
             {{"HelpContentsMnu", "&Contents"}, kSeparator, {"AboutMnu", "&About..."}});
}

QMenu* buildTreePopup(QWidget* parent) {
    auto* popup = new QMenu(parent);
    popup->setObjectName("TreePopup");
    addItems(popup, parent,
             {{"Select1", "&Select"}, kSeparator, {"PopAddFolderMnu", "Add &Folder"},
              {"PopAddLinkMnu", "Add &Link"}, kSeparator, {"PopDeleteNodeMnu", "&Delete"},
              {"PopEditNodeMnu", "&Edit"}, {"PopEditMacrosMnu", "Edit &Macros..."}, kSeparator,
              {"Find1", "&Find"}, {"MoveUp1", "Move &Up"}, {"MoveDown1", "Move D&own"}});
    return popup;
}

} // namespace kestrix::gui
