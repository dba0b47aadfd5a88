// The link file commands of the File menu (load, insert, save, save as, save a branch) and the
// Links menu's Expand All / Collapse All. It owns their menu actions.
#pragma once

#include "core/links/LinkLibrary.h"
#include "gui/CommandActions.h"

#include <QObject>

class QAbstractItemModel;
class QAction;

namespace kestrix::gui {

class LinkFileCommands : public QObject {
    Q_OBJECT
public:
    struct Actions {
        QAction* loadLinks;
        QAction* insertLinks;
        QAction* saveLinks;
        QAction* saveLinksAs;
        QAction* saveSelectedBranch;
        QAction* expandAll;
        QAction* collapseAll;
    };

    // `treeModel` shows the library's tree; `linksLoaded` runs after Load Links replaced the tree.
    LinkFileCommands(LinkLibrary& library, const QAbstractItemModel& treeModel, Command linksLoaded,
                     const CommandRunner& run, QObject* parent = nullptr);

    const Actions& actions() const { return actions_; }

private:
    void loadLinks();

    LinkLibrary& library_;
    Command linksLoaded_;
    bool treeReplaced_ = false;
    Actions actions_;
};

} // namespace kestrix::gui
