// The link file commands of the File menu (load, insert, save, save as, save a branch) and the
// Links menu's Expand All / Collapse All. It owns their menu actions.
#pragma once

#include "core/links/LinkLibrary.h"
#include "gui/CommandActions.h"

#include <QObject>

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

    LinkFileCommands(LinkLibrary& library, const CommandRunner& run, QObject* parent = nullptr);

    const Actions& actions() const { return actions_; }

private:
    Actions actions_;
};

} // namespace kestrix::gui
