#include "gui/links/LinkTreeModel.h"

#include "gui/Icons.h"
#include "gui/QtText.h"

namespace kestrix::gui {

LinkTreeModel::LinkTreeModel(LinkTree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree) {
    tree_.setListener(this);
}

LinkTreeModel::~LinkTreeModel() {
    tree_.setListener(nullptr);
}

LinkNode* LinkTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<LinkNode*>(index.internalPointer()) : nullptr;
}

QModelIndex LinkTreeModel::indexOf(const LinkNode* node) const {
    if (!node)
        return {};
    return createIndex(tree_.rowOf(node), 0, const_cast<LinkNode*>(node));
}

QModelIndex LinkTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    const LinkNode* p = nodeOf(parent);
    if (!p)
        return row < tree_.topLevelCount() ? createIndex(row, 0, tree_.topLevel(row))
                                           : QModelIndex();
    return row < p->childCount() ? createIndex(row, 0, p->child(row)) : QModelIndex();
}

QModelIndex LinkTreeModel::parent(const QModelIndex& child) const {
    const LinkNode* n = nodeOf(child);
    return n ? indexOf(n->parent()) : QModelIndex();
}

int LinkTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    const LinkNode* p = nodeOf(parent);
    return p ? p->childCount() : tree_.topLevelCount();
}

int LinkTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant LinkTreeModel::data(const QModelIndex& index, int role) const {
    const LinkNode* n = nodeOf(index);
    if (!n)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return toQ(n->text());
    case Qt::DecorationRole:
        return icons::nodePicture(LinkTree::updateNodePicture(n));
    case Qt::ToolTipRole:
        return n->kind() == LinkKind::Link ? QVariant(toQ(n->data().url)) : QVariant();
    default:
        return {};
    }
}

bool LinkTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    LinkNode* n = nodeOf(index);
    if (!n || role != Qt::EditRole || n->kind() == LinkKind::Root)
        return false;
    tree_.setText(n, fromQ(value.toString()));
    emit renamed(n);
    return true;
}

Qt::ItemFlags LinkTreeModel::flags(const QModelIndex& index) const {
    const LinkNode* n = nodeOf(index);
    if (!n)
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    if (n->kind() != LinkKind::Root)
        f |= Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    return f;
}

void LinkTreeModel::beforeReset() {
    beginResetModel();
}
void LinkTreeModel::afterReset() {
    endResetModel();
}

void LinkTreeModel::beforeInsert(LinkNode* parent, int row) {
    beginInsertRows(indexOf(parent), row, row);
}
void LinkTreeModel::afterInsert() {
    endInsertRows();
}

void LinkTreeModel::beforeRemove(LinkNode* parent, int first, int last) {
    beginRemoveRows(indexOf(parent), first, last);
}
void LinkTreeModel::afterRemove() {
    endRemoveRows();
}

void LinkTreeModel::beforeMove(LinkNode* from, int row, LinkNode* to, int toRow) {
    beginMoveRows(indexOf(from), row, row, indexOf(to), toRow);
}
void LinkTreeModel::afterMove() {
    endMoveRows();
}

void LinkTreeModel::nodeChanged(LinkNode* node) {
    const QModelIndex i = indexOf(node);
    emit dataChanged(i, i);
}

void LinkTreeModel::expansionChanged(LinkNode* node) {
    const QModelIndex i = indexOf(node);
    emit expansionRequested(i, node->expanded());
    emit dataChanged(i, i, {Qt::DecorationRole});
}

void LinkTreeModel::selectionChanged(LinkNode* node) {
    emit selectionRequested(indexOf(node));
}

} // namespace kestrix::gui
