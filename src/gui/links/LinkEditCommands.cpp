#include "gui/links/LinkEditCommands.h"

#include "gui/links/FindDialog.h"
#include "gui/links/LinkPane.h"
#include "gui/links/LinkTreeModel.h"
#include "gui/links/LinkTreeView.h"
#include "gui/links/NodeEditDialog.h"
#include "gui/QtText.h"
#include "core/links/TreeEditing.h"

namespace kestrix::gui {

LinkEditCommands::LinkEditCommands(LinkLibrary& library, LinkPane& pane, NodeEditDialog& editor,
                                   FindDialog& find, Dialogs& dialogs, LinkEditHooks hooks,
                                   QObject* parent)
    : QObject(parent), library_(library), pane_(pane), editor_(editor), find_(find),
      dialogs_(dialogs), hooks_(std::move(hooks)) {
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

void LinkEditCommands::allowRename() {
    const LinkNode* node = selected();
    pane_.view()->setEditTriggers(node && node->kind() != LinkKind::Root
                                      ? QAbstractItemView::SelectedClicked |
                                            QAbstractItemView::EditKeyPressed
                                      : QAbstractItemView::NoEditTriggers);
}

} // namespace kestrix::gui
