// The link tree's view: drags of nodes inside the tree and of the address bar's link picture onto
// it, with automatic scrolling near the edges (AutoScroller) and automatic expansion of a folder
// the pointer rests on (AutoExpander).
#pragma once

#include <QTimer>
#include <QTreeView>

namespace kestrix::gui {

class LinkTreeModel;

// MIME types of the two drag sources.
extern const char* const kNodeMime;
extern const char* const kAddressMime;

class AutoScroller : public QObject {
    Q_OBJECT
public:
    explicit AutoScroller(QTreeView& tree, int delayMs = 300);
    // On each drag move: starts or stops the scrolling timer.
    void check(const QPoint& pos);
    void tick();
    bool scrolling() const { return scrolling_; }
    QTimer& timer() { return timer_; }

private:
    bool wanted(const QPoint& pos) const;

    QTreeView& tree_;
    QTimer timer_;
    int delay_;
    bool scrolling_ = false;
};

class AutoExpander : public QObject {
    Q_OBJECT
public:
    explicit AutoExpander(QTreeView& tree, int delayMs = 700);
    // On each drag move: a collapsed node with children under the pointer starts the timer.
    void check(const QPoint& pos);
    void tick();
    bool pending() const { return pending_; }
    QTimer& timer() { return timer_; }

private:
    QTreeView& tree_;
    QTimer timer_;
    int delay_;
    bool pending_ = false;
};

class LinkTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit LinkTreeView(QWidget* parent = nullptr);

    AutoScroller& scroller() { return scroller_; }
    AutoExpander& expander() { return expander_; }
    // Whether a drag of this kind may drop on the node at `pos`.
    bool acceptsDrop(const QMimeData* data, const QPoint& pos) const;

signals:
    // A node of the tree was dropped on `target`.
    void nodeDropped(const QModelIndex& target);
    // The address bar's picture was dropped on `target`.
    void addressDropped(const QModelIndex& target);

protected:
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    LinkTreeModel* linkModel() const;

    AutoScroller scroller_;
    AutoExpander expander_;
};

} // namespace kestrix::gui
