#include "gui/links/LinkEditCommands.h"

#include "core/links/TreeEditing.h"
#include "gui/QtText.h"
#include "gui/links/FindDialog.h"
#include "gui/links/LinkPane.h"
#include "gui/links/LinkTreeModel.h"
#include "gui/links/LinkTreeView.h"
#include "gui/links/NodeEditDialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QToolButton>
#include <utility>

namespace kestrix::gui {

LinkEditCommands::LinkEditCommands(LinkLibrary& library, LinkPane& pane, NodeEditDialog& editor,
                                   FindDialog& find, Dialogs& dialogs, LinkEditHooks hooks,
                                   const CommandRunner& run, QObject* parent)
    : QObject(parent), library_(library), pane_(pane), editor_(editor), find_(find),
      dialogs_(dialogs), hooks_(std::move(hooks)) {
    // A command's menu item, pop-up item and button share its handler; the commands check the
    // node kind themselves.
    using Handler = void (LinkEditCommands::*)();
    auto action = [this, &run](const char* name, const char* caption, Handler handler) {
        return commandAction(this, name, caption, run, [this, handler] { (this->*handler)(); });
    };
    actions_ = {action("AddFolderMnu", "Add Folder", &LinkEditCommands::addFolder),
                action("AddLinkMnu", "Add Link", &LinkEditCommands::addLink),
                action("DeleteNodeMnu", "Delete Item", &LinkEditCommands::deleteNode),
                action("EditNodeMnu", "Edit Link", &LinkEditCommands::edit),
                action("EditMacrosMnu", "Edit Macros...", &LinkEditCommands::editMacros),
                action("SearchLinks1", "&Search Links...", &LinkEditCommands::search),
                action("PopAddFolderMnu", "Add &Folder", &LinkEditCommands::addFolder),
                action("PopAddLinkMnu", "Add &Link", &LinkEditCommands::addLink),
                action("PopDeleteNodeMnu", "&Delete", &LinkEditCommands::deleteNode),
                action("PopEditNodeMnu", "&Edit", &LinkEditCommands::edit),
                action("PopEditMacrosMnu", "Edit &Macros...", &LinkEditCommands::editMacros),
                action("Find1", "&Find", &LinkEditCommands::search),
                action("MoveUp1", "Move &Up", &LinkEditCommands::moveUp),
                action("MoveDown1", "Move D&own", &LinkEditCommands::moveDown)};
    // The buttons run their commands whatever the menus' enabled state.
    const std::pair<QAbstractButton*, Handler> buttons[] = {
        {pane.folderButton(), &LinkEditCommands::addFolder},
        {pane.linkButton(), &LinkEditCommands::addLink},
        {pane.deleteButton(), &LinkEditCommands::deleteNode},
        {pane.moveUpButton(), &LinkEditCommands::moveUp},
        {pane.moveDownButton(), &LinkEditCommands::moveDown},
        {pane.findButton(), &LinkEditCommands::search}};
    for (const auto& binding : buttons) {
        const auto handler = binding.second;
        connect(binding.first, &QAbstractButton::clicked, this,
                [this, run, handler] { run([this, handler] { (this->*handler)(); }); });
    }
    connect(&pane, &LinkPane::selectionChanged, this, &LinkEditCommands::updateEnabling);
    LinkTreeView* view = pane.view();
    connect(view, &LinkTreeView::nodeDropped, this, [this](const QModelIndex& target) {
        if (moveLinkNode(library_.tree(), selected(), pane_.model()->nodeOf(target)))
            modified();
    });
    connect(view, &LinkTreeView::addressDropped, this, [this](const QModelIndex& target) {
        if (dropAddressLink(library_.tree(), pane_.model()->nodeOf(target), hooks_.addressText()))
            modified();
    });
    connect(&find, &FindDialog::findNext, this, &LinkEditCommands::findNext);
    connect(&pane, &LinkPane::clicked, this, &LinkEditCommands::allowRename);
}

void LinkEditCommands::addFolder() {
    const LinkNode* node = selected();
    if (!node || node->kind() == LinkKind::Link)
        return;
    std::string name = "New Folder";
    if (!editor_.editFolderDialog(name))
        return;
    library_.tree().addFolderToSelected(name);
    pane_.view()->setFocus();
    modified();
}

void LinkEditCommands::addLink() {
    const LinkNode* node = selected();
    if (!node || node->kind() == LinkKind::Link)
        return;
    std::string name = "New Link/URL", url = "http://www.";
    int32_t delay = 60;
    if (!editor_.editLinkDialog(name, url, delay))
        return;
    library_.tree().addLinkToSelected(name, url, delay);
    pane_.view()->setFocus();
    modified();
}

void LinkEditCommands::deleteNode() {
    LinkNode* node = selected();
    if (!node || node->kind() == LinkKind::Root)
        return;
    if (!dialogs_.askYesNo("Do you want to Delete: " + node->text(), MessageIcon::Information))
        return;
    library_.tree().deleteLinkNode(node);
    modified();
}

void LinkEditCommands::edit() {
    LinkNode* node = selected();
    if (!node || node->kind() == LinkKind::Root)
        return;
    LinkTree& tree = library_.tree();
    std::string name = node->text();
    if (node->kind() == LinkKind::Folder) {
        if (editor_.editFolderDialog(name))
            tree.setText(node, name);
    } else {
        LinkNodeData data = node->data();
        std::string url = data.url;
        if (editor_.editLinkDialog(name, url, data.delay)) {
            tree.setText(node, name);
            data.url = url;
            tree.setData(node, data);
            hooks_.makeCurrent(node);
        }
    }
    // Even a cancelled edit counts as a change.
    modified();
}

void LinkEditCommands::editMacros() {
    LinkNode* node = selected();
    if (!node || node->kind() != LinkKind::Link)
        return;
    std::string url = node->data().url;
    if (!hooks_.editMacros(url))
        return;
    LinkNodeData data = node->data();
    data.url = url;
    library_.tree().setData(node, data);
    modified();
    hooks_.makeCurrent(node);
}

void LinkEditCommands::moveUp() {
    if (LinkNode* node = selected(); node && kestrix::moveUp(library_.tree(), node))
        modified();
}

void LinkEditCommands::moveDown() {
    if (LinkNode* node = selected(); node && kestrix::moveDown(library_.tree(), node))
        modified();
}

void LinkEditCommands::search() {
    find_.show();
    find_.raise();
    find_.activateWindow();
}

void LinkEditCommands::findNext() {
    if (LinkNode* found = findLinkNode(library_.tree(), fromQ(find_.text()), find_.down()))
        library_.tree().select(found);
}

void LinkEditCommands::updateEnabling() {
    const LinkNode* node = selected();
    if (!node)
        return;
    const NodeCommands c = enabledCommands(node->kind());
    for (QAction* a :
         {actions_.popAddFolder, actions_.popAddLink, actions_.addFolder, actions_.addLink})
        a->setEnabled(c.add);
    for (QAction* a :
         {actions_.popDeleteNode, actions_.popEdit, actions_.deleteNode, actions_.edit})
        a->setEnabled(c.deleteOrEdit);
    for (QAction* a : {actions_.popEditMacros, actions_.editMacros})
        a->setEnabled(c.editMacros);
}

void LinkEditCommands::allowRename() {
    const LinkNode* node = selected();
    // F2 only: a click on the selected node starts the editor once the double-click time is
    // over, and the load a double-click starts handles events beyond that time, so the first
    // click of the double-click would open the editor over the link being loaded.
    pane_.view()->setEditTriggers(node && node->kind() != LinkKind::Root
                                      ? QAbstractItemView::EditKeyPressed
                                      : QAbstractItemView::NoEditTriggers);
}

} // namespace kestrix::gui
