#include "gui/links/LinkTreeView.h"

#include "core/links/TreeEditing.h"
#include "gui/links/LinkTreeModel.h"

#include <QCursor>
#include <QDrag>
#include <QDragMoveEvent>
#include <QMimeData>
#include <QScrollBar>

namespace kestrix::gui {

const char* const kNodeMime = "application/x-kestrix-link-node";
const char* const kAddressMime = "application/x-kestrix-address";

AutoScroller::AutoScroller(QTreeView& tree, int delayMs) : tree_(tree), delay_(delayMs) {
    connect(&timer_, &QTimer::timeout, this, &AutoScroller::tick);
}

bool AutoScroller::wanted(const QPoint& pos) const {
    const QScrollBar* bar = tree_.verticalScrollBar();
    const QWidget* area = tree_.viewport();
    return autoScrollWanted(pos.x(), pos.y(), area->width(), area->height(),
                            bar->value() == bar->minimum(), bar->value() == bar->maximum());
}

void AutoScroller::check(const QPoint& pos) {
    if (wanted(pos)) {
        scrolling_ = true;
        timer_.start(delay_);
    } else {
        timer_.stop();
        scrolling_ = false;
    }
}

void AutoScroller::tick() {
    const QPoint pos = tree_.viewport()->mapFromGlobal(QCursor::pos());
    if (!wanted(pos))
        timer_.stop();
    QScrollBar* bar = tree_.verticalScrollBar();
    bar->setValue(bar->value() +
                  autoScrollStep(pos.y(), tree_.viewport()->height()) * bar->singleStep());
    tree_.viewport()->update();
}

AutoExpander::AutoExpander(QTreeView& tree, int delayMs) : tree_(tree), delay_(delayMs) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &AutoExpander::tick);
}

void AutoExpander::check(const QPoint& pos) {
    if (pending_)
        return;
    const QModelIndex index = tree_.indexAt(pos);
    if (index.isValid() && tree_.model()->hasChildren(index) && !tree_.isExpanded(index)) {
        pending_ = true;
        timer_.start(delay_);
    }
}

void AutoExpander::tick() {
    timer_.stop();
    const QModelIndex index = tree_.indexAt(tree_.viewport()->mapFromGlobal(QCursor::pos()));
    if (index.isValid())
        tree_.expand(index);
    tree_.viewport()->update();
    pending_ = false;
}

LinkTreeView::LinkTreeView(QWidget* parent)
    : QTreeView(parent), scroller_(*this), expander_(*this) {
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    // Our own scroller and expander replace the view's.
    setAutoScroll(false);
    setAutoExpandDelay(-1);
}

LinkTreeModel* LinkTreeView::linkModel() const {
    return static_cast<LinkTreeModel*>(model());
}

void LinkTreeView::startDrag(Qt::DropActions) {
    const LinkNode* node = linkModel()->nodeOf(currentIndex());
    if (!node || node->kind() == LinkKind::Root)
        return;
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setData(kNodeMime, QByteArray());
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
}

bool LinkTreeView::acceptsDrop(const QMimeData* data, const QPoint& pos) const {
    const LinkNode* target = linkModel()->nodeOf(indexAt(pos));
    if (!target)
        return false;
    if (data->hasFormat(kAddressMime))
        return true;
    return data->hasFormat(kNodeMime) &&
           acceptsTreeDrop(linkModel()->nodeOf(currentIndex()), target);
}

void LinkTreeView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(kNodeMime) || event->mimeData()->hasFormat(kAddressMime))
        event->acceptProposedAction();
    else
        event->ignore();
}

void LinkTreeView::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (!expander_.pending())
        scroller_.check(pos);
    if (!scroller_.scrolling())
        expander_.check(pos);
    if (acceptsDrop(event->mimeData(), pos))
        event->acceptProposedAction();
    else
        event->ignore();
}

void LinkTreeView::dropEvent(QDropEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (!acceptsDrop(event->mimeData(), pos)) {
        event->ignore();
        return;
    }
    const QModelIndex target = indexAt(pos);
    event->acceptProposedAction();
    if (event->mimeData()->hasFormat(kAddressMime))
        emit addressDropped(target);
    else
        emit nodeDropped(target);
}

} // namespace kestrix::gui
