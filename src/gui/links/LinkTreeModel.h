// The Qt view's window onto the core link tree. The core tree is the one source of truth; this
// adapter turns its change notices into model signals, and the view's expansion and selection
// back into tree calls.
#pragma once

#include "core/links/LinkTree.h"

#include <QAbstractItemModel>

namespace kestrix::gui {

class LinkTreeModel : public QAbstractItemModel, private LinkTreeListener {
    Q_OBJECT
public:
    explicit LinkTreeModel(LinkTree& tree, QObject* parent = nullptr);
    ~LinkTreeModel() override;

    LinkNode* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const LinkNode* node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The tree selected a node (or none); the view should follow.
    void selectionRequested(const QModelIndex& index);
    // The tree expanded or collapsed a node; the view should follow.
    void expansionRequested(const QModelIndex& index, bool expanded);
    // The user renamed a node in place.
    void renamed(LinkNode* node);

private:
    void beforeReset() override;
    void afterReset() override;
    void beforeInsert(LinkNode* parent, int row) override;
    void afterInsert() override;
    void beforeRemove(LinkNode* parent, int first, int last) override;
    void afterRemove() override;
    void beforeMove(LinkNode* from, int row, LinkNode* to, int toRow) override;
    void afterMove() override;
    void nodeChanged(LinkNode* node) override;
    void expansionChanged(LinkNode* node) override;
    void selectionChanged(LinkNode* node) override;

    LinkTree& tree_;
};

} // namespace kestrix::gui
