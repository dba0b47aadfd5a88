// The commands that change the link tree: add, edit, delete, move, edit macros, search, renaming
// in place, and drops from the tree itself and from the address bar's link picture. Each command
// acts on the selected node and marks the library modified when it changed it. It owns the
// commands' actions in the Links menu and the tree's pop-up menu, binds the buttons under the
// tree, and enables each action for the kind of node selected.
#pragma once

#include "core/links/LinkLibrary.h"
#include "gui/CommandActions.h"

#include <QObject>
#include <functional>
#include <string>

class QAction;

namespace kestrix::gui {

class FindDialog;
class LinkPane;
class NodeEditDialog;

struct LinkEditHooks {
    // The edited link becomes the current link (address bar and caption follow).
    std::function<void(const LinkNode*)> makeCurrent;
    // The macro editor on an address; true when closed with OK.
    std::function<bool(std::string& address)> editMacros;
    // The address bar's text, for a drop of its link picture.
    std::function<std::string()> addressText;
};

class LinkEditCommands : public QObject {
    Q_OBJECT
public:
    // The Links and Edit menus' actions, then the pop-up menu's.
    struct Actions {
        QAction* addFolder;
        QAction* addLink;
        QAction* deleteNode;
        QAction* edit;
        QAction* editMacros;
        QAction* searchLinks;
        QAction* popAddFolder;
        QAction* popAddLink;
        QAction* popDeleteNode;
        QAction* popEdit;
        QAction* popEditMacros;
        QAction* find;
        QAction* moveUp;
        QAction* moveDown;
    };

    LinkEditCommands(LinkLibrary& library, LinkPane& pane, NodeEditDialog& editor, FindDialog& find,
                     Dialogs& dialogs, LinkEditHooks hooks, const CommandRunner& run,
                     QObject* parent = nullptr);

    const Actions& actions() const { return actions_; }

    void addFolder();
    void addLink();
    void deleteNode();
    void edit();
    void editMacros();
    void moveUp();
    void moveDown();
    void search();
    void findNext();
    // A click allows renaming in place with F2, except for the root.
    void allowRename();
    // Enables the actions that apply to the selected node's kind.
    void updateEnabling();

private:
    void modified() { library_.setLinksModified(true); }
    LinkNode* selected() const { return library_.tree().selected(); }

    LinkLibrary& library_;
    LinkPane& pane_;
    NodeEditDialog& editor_;
    FindDialog& find_;
    Dialogs& dialogs_;
    LinkEditHooks hooks_;
    Actions actions_;
};

} // namespace kestrix::gui
