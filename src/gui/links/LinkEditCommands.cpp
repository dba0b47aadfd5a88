#include "LinkEditCommands.h"

#include "FindDialog.h"
#include "LinkPane.h"
#include "LinkTreeModel.h"
#include "LinkTreeView.h"
#include "NodeEditDialog.h"
#include "QtText.h"
#include "links/TreeEditing.h"

namespace kestrix::gui {

LinkEditCommands::LinkEditCommands(LinkLibrary& library, LinkPane& pane, TNodeEditDlg& editor,
                                   FindDialog& find, Dialogs& dialogs, LinkEditHooks hooks,
                                   QObject* parent)
    : QObject(parent), library_(library), pane_(pane), editor_(editor), find_(find),
      dialogs_(dialogs), hooks_(std::move(hooks)) {
    LinkTreeView* view = pane.view();
    connect(view, &LinkTreeView::nodeDropped, this, [this](const QModelIndex& target) {
        if (MoveLinkNode(library_.tree(), selected(), pane_.model()->nodeOf(target)))
            modified();
    });
    connect(view, &LinkTreeView::addressDropped, this, [this](const QModelIndex& target) {
        if (dropAddressLink(library_.tree(), pane_.model()->nodeOf(target), hooks_.addressText()))
            modified();
    });
    connect(&find, &FindDialog::findNext, this, &LinkEditCommands::FindNext);
    connect(&pane, &LinkPane::clicked, this, &LinkEditCommands::allowRename);
}

void LinkEditCommands::AddFolder() {
    const LinkNode* node = selected();
    if (!node || node->kind() == TLinkKind::lkLink)
        return;
    std::string name = "New Folder";
    if (!editor_.EditFolderDialog(name))
        return;
    library_.tree().AddFolderToSelected(name);
    pane_.view()->setFocus();
    modified();
}

void LinkEditCommands::AddLink() {
    const LinkNode* node = selected();
    if (!node || node->kind() == TLinkKind::lkLink)
        return;
    std::string name = "New Link/URL", url = "http://www.";
    int32_t delay = 60;
    if (!editor_.EditLinkDialog(name, url, delay))
        return;
    library_.tree().AddLinkToSelected(name, url, delay);
    pane_.view()->setFocus();
    modified();
}

void LinkEditCommands::Delete() {
    LinkNode* node = selected();
    if (!node || node->kind() == TLinkKind::lkRoot)
        return;
    if (!dialogs_.askYesNo("Do you want to Delete: " + node->text(), MessageIcon::Information))
        return;
    library_.tree().DeleteLinkNode(node);
    modified();
}

void LinkEditCommands::Edit() {
    LinkNode* node = selected();
    if (!node || node->kind() == TLinkKind::lkRoot)
        return;
    LinkTree& tree = library_.tree();
    std::string name = node->text();
    if (node->kind() == TLinkKind::lkFolder) {
        if (editor_.EditFolderDialog(name))
            tree.setText(node, name);
    } else {
        TLinkNodeData data = node->data();
        std::string url = data.URL;
        if (editor_.EditLinkDialog(name, url, data.Delay)) {
            tree.setText(node, name);
            data.URL = url;
            tree.setData(node, data);
            hooks_.makeCurrent(node);
        }
    }
    // Even a cancelled edit counts as a change.
    modified();
}

void LinkEditCommands::EditMacros() {
    LinkNode* node = selected();
    if (!node || node->kind() != TLinkKind::lkLink)
        return;
    std::string url = node->data().URL;
    if (!hooks_.editMacros(url))
        return;
    TLinkNodeData data = node->data();
    data.URL = url;
    library_.tree().setData(node, data);
    modified();
    hooks_.makeCurrent(node);
}

void LinkEditCommands::MoveUp() {
    if (LinkNode* node = selected(); node && moveUp(library_.tree(), node))
        modified();
}

void LinkEditCommands::MoveDown() {
    if (LinkNode* node = selected(); node && moveDown(library_.tree(), node))
        modified();
}

void LinkEditCommands::Search() {
    find_.show();
    find_.raise();
    find_.activateWindow();
}

void LinkEditCommands::FindNext() {
    if (LinkNode* found = FindLinkNode(library_.tree(), fromQ(find_.text()), find_.down()))
        library_.tree().select(found);
}

void LinkEditCommands::allowRename() {
    const LinkNode* node = selected();
    pane_.view()->setEditTriggers(node && node->kind() != TLinkKind::lkRoot
                                      ? QAbstractItemView::SelectedClicked |
                                            QAbstractItemView::EditKeyPressed
                                      : QAbstractItemView::NoEditTriggers);
}

} // namespace kestrix::gui
