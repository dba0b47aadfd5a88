#include "gui/links/LinkPane.h"

#include "gui/Icons.h"
#include "gui/QtText.h"
#include "gui/links/LinkTreeModel.h"
#include "gui/links/LinkTreeView.h"
#include "gui/widgets/Fields.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace kestrix::gui {

namespace {

QToolButton* speedButton(const char* name, const char* hint, icons::Tool icon, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setIcon(icons::tool(icon));
    b->setAutoRaise(true);
    return b;
}

} // namespace

LinkPane::LinkPane(LinkLibrary& library, QWidget* parent)
    : QWidget(parent), library_(library), view_(new LinkTreeView(this)),
      model_(new LinkTreeModel(library.tree(), this)),
      moveUp_(speedButton("MoveUpBtn", "Move Up", icons::Tool::MoveUp, this)),
      moveDown_(speedButton("MoveDnBtn", "Move Down", icons::Tool::MoveDown, this)),
      delete_(speedButton("DeleteBtn", "Delete", icons::Tool::Delete, this)),
      find_(speedButton("FindBtn", "Search", icons::Tool::Search, this)),
      folder_(speedButton("FolderBtn", "Insert Folder", icons::Tool::InsertFolder, this)),
      link_(speedButton("LinkBtn", "Insert Link", icons::Tool::InsertLink, this)),
      modifiedDis_(valueField("ModifiedDis", this)) {
    view_->setObjectName("LinkTree");
    view_->setModel(model_);
    view_->setHeaderHidden(true);
    view_->setIconSize(QSize(14, 14));
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    view_->setExpandsOnDoubleClick(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(new QLabel("Image Links", this));
    layout->addWidget(view_, 1);
    auto* buttons = new QHBoxLayout;
    for (QToolButton* b : {moveUp_, moveDown_, delete_, find_, folder_, link_})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(fieldLabel(" Modified:", this));
    buttons->addWidget(modifiedDis_);
    layout->addLayout(buttons);

    followTree();
}

void LinkPane::followTree() {
    LinkTree& tree = library_.tree();
    connect(model_, &LinkTreeModel::expansionRequested, view_,
            [this](const QModelIndex& i, bool expanded) { view_->setExpanded(i, expanded); });
    connect(model_, &LinkTreeModel::selectionRequested, this, [this](const QModelIndex& i) {
        if (view_->currentIndex() != i)
            view_->setCurrentIndex(i);
        if (i.isValid())
            view_->scrollTo(i);
        emit selectionChanged();
    });
    connect(model_, &QAbstractItemModel::modelReset, this, &LinkPane::restoreExpansion);
    connect(model_, &LinkTreeModel::renamed, this, &LinkPane::renamed);
    connect(view_, &QTreeView::expanded, this,
            [this, &tree](const QModelIndex& i) { tree.setExpanded(model_->nodeOf(i), true); });
    connect(view_, &QTreeView::collapsed, this,
            [this, &tree](const QModelIndex& i) { tree.setExpanded(model_->nodeOf(i), false); });
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, &tree](const QModelIndex& current) {
                if (LinkNode* n = model_->nodeOf(current))
                    tree.select(n);
            });
    connect(view_, &QTreeView::clicked, this, &LinkPane::selectionChanged);
    connect(view_, &QTreeView::clicked, this, &LinkPane::clicked);
    connect(view_, &QTreeView::doubleClicked, this, &LinkPane::nodeDoubleClicked);
    connect(view_, &QTreeView::customContextMenuRequested, this, [this, &tree](const QPoint& p) {
        if (LinkNode* n = model_->nodeOf(view_->indexAt(p)))
            tree.select(n);
        emit popupRequested(view_->viewport()->mapToGlobal(p));
    });
}

void LinkPane::restoreExpansion() {
    LinkTree& tree = library_.tree();
    tree.forEachNode([this](LinkNode* n) {
        view_->setExpanded(model_->indexOf(n), n->expanded());
        return false;
    });
    view_->setCurrentIndex(model_->indexOf(tree.selected()));
}

void LinkPane::showModified() {
    modifiedDis_->setText(toQ(library_.modifiedText()));
}

} // namespace kestrix::gui
