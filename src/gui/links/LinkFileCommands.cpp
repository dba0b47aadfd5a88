#include "gui/links/LinkFileCommands.h"

#include <QAbstractItemModel>

namespace kestrix::gui {

LinkFileCommands::LinkFileCommands(LinkLibrary& library, const QAbstractItemModel& treeModel,
                                   Command linksLoaded, const CommandRunner& run, QObject* parent)
    : QObject(parent), library_(library), linksLoaded_(std::move(linksLoaded)),
      actions_{commandAction(this, "LoadLinksMnu", "&Load Links...", run, [this] { loadLinks(); }),
               commandAction(this, "InsertLinksMnu", "Insert Links...", run,
                             [&library] { library.insertLinksCommand(); }),
               commandAction(this, "SaveLinksMnu", "&Save Links...", run,
                             [&library] { library.saveLinksCommand(); }),
               commandAction(this, "SaveLinkAsMnu", "Sa&ve Links As...", run,
                             [&library] { library.saveLinksAsCommand(); }),
               commandAction(this, "SaveSelectedBranchMnu", "Save Selected Branch...", run,
                             [&library] { library.saveSelectedBranchCommand(); }),
               commandAction(this, "ExpandAllMnu", "Expand All", run,
                             [&library] { library.tree().setAllExpanded(true); }),
               commandAction(this, "ContractAllMnu", "Collapse All", run,
                             [&library] { library.tree().setAllExpanded(false); })} {
    // Only reading a link file rebuilds the whole tree.
    connect(&treeModel, &QAbstractItemModel::modelReset, this, [this] { treeReplaced_ = true; });
}

void LinkFileCommands::loadLinks() {
    treeReplaced_ = false;
    library_.loadLinksCommand();
    // A cancelled question or dialog, or a file that could not be read, leaves the tree as it
    // was; the current link then stays too.
    if (treeReplaced_)
        linksLoaded_();
}

} // namespace kestrix::gui
