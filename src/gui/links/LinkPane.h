// The "Image Links" page: the link tree, its speed buttons and the modified field.
#pragma once

#include "core/links/LinkLibrary.h"

#include <QWidget>

class QLabel;
class QToolButton;

namespace kestrix::gui {

class LinkTreeModel;
class LinkTreeView;

class LinkPane : public QWidget {
    Q_OBJECT
public:
    LinkPane(LinkLibrary& library, QWidget* parent = nullptr);

    LinkTreeView* view() const { return view_; }
    LinkTreeModel* model() const { return model_; }
    QToolButton* moveUpButton() const { return moveUp_; }
    QToolButton* moveDownButton() const { return moveDown_; }
    QToolButton* deleteButton() const { return delete_; }
    QToolButton* findButton() const { return find_; }
    QToolButton* folderButton() const { return folder_; }
    QToolButton* linkButton() const { return link_; }
    // Shows the modified flag's text.
    void showModified();

signals:
    // The tree's selected node changed, or the tree was clicked.
    void selectionChanged();
    void nodeDoubleClicked();
    // A right click selected the node under the pointer; the pop-up menu should open there.
    void popupRequested(const QPoint& globalPos);
    void renamed();
    void clicked();

private:
    void followTree();
    void restoreExpansion();

    LinkLibrary& library_;
    LinkTreeView* view_;
    LinkTreeModel* model_;
    QToolButton* moveUp_;
    QToolButton* moveDown_;
    QToolButton* delete_;
    QToolButton* find_;
    QToolButton* folder_;
    QToolButton* link_;
    QLabel* modifiedDis_;
};

} // namespace kestrix::gui
