#include "gui/links/LinkFileCommands.h"

namespace kestrix::gui {

LinkFileCommands::LinkFileCommands(LinkLibrary& library, const CommandRunner& run, QObject* parent)
    : QObject(parent), actions_{
                           commandAction(this, "LoadLinksMnu", "&Load Links...", run,
                                         [&library] { library.loadLinksCommand(); }),
                           commandAction(this, "InsertLinksMnu", "Insert Links...", run,
                                         [&library] { library.insertLinksCommand(); }),
                           commandAction(this, "SaveLinksMnu", "&Save Links...", run,
                                         [&library] { library.saveLinksCommand(); }),
                           commandAction(this, "SaveLinkAsMnu", "Sa&ve Links As...", run,
                                         [&library] { library.saveLinksAsCommand(); }),
                           commandAction(this, "SaveSelectedBranchMnu", "Save Selected Branch...",
                                         run, [&library] { library.saveSelectedBranchCommand(); }),
                           commandAction(this, "ExpandAllMnu", "Expand All", run,
                                         [&library] { library.tree().setAllExpanded(true); }),
                           commandAction(this, "ContractAllMnu", "Collapse All", run,
                                         [&library] { library.tree().setAllExpanded(false); })} {}

} // namespace kestrix::gui
