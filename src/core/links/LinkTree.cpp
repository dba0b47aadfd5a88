#include "core/links/LinkTree.h"

#include "core/util/Text.h"

#include <algorithm>

namespace kestrix {

namespace {

using NodeList = std::vector<std::unique_ptr<LinkNode>>;

// Pre-order walk; `visit` answers true to stop. Returns whether it stopped.
bool walkPreorder(const NodeList& nodes, const std::function<bool(LinkNode*)>& visit,
                  const std::function<const NodeList&(LinkNode*)>& childrenOf) {
    for (const auto& n : nodes)
        if (visit(n.get()) || walkPreorder(childrenOf(n.get()), visit, childrenOf))
            return true;
    return false;
}

} // namespace

std::vector<std::unique_ptr<LinkNode>>& LinkTree::siblingsOf(const LinkNode* node) {
    return node->parent_ ? node->parent_->children_ : top_;
}

const std::vector<std::unique_ptr<LinkNode>>& LinkTree::siblingsOf(const LinkNode* node) const {
    return node->parent_ ? node->parent_->children_ : top_;
}

int LinkTree::rowOf(const LinkNode* node) const {
    const auto& s = siblingsOf(node);
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i].get() == node)
            return static_cast<int>(i);
    return -1;
}

LinkNode* LinkTree::previousSibling(const LinkNode* node) const {
    int row = rowOf(node);
    return row > 0 ? siblingsOf(node)[static_cast<size_t>(row - 1)].get() : nullptr;
}

LinkNode* LinkTree::nextSibling(const LinkNode* node) const {
    const auto& s = siblingsOf(node);
    int row = rowOf(node);
    return row + 1 < static_cast<int>(s.size()) ? s[static_cast<size_t>(row) + 1].get() : nullptr;
}

void LinkTree::clear() {
    notify().beforeReset();
    top_.clear();
    selected_ = nullptr;
    notify().afterReset();
}

LinkNode* LinkTree::insertNode(LinkNode* parent, std::unique_ptr<LinkNode> node) {
    auto& list = parent ? parent->children_ : top_;
    node->parent_ = parent;
    notify().beforeInsert(parent, static_cast<int>(list.size()));
    list.push_back(std::move(node));
    LinkNode* added = list.back().get();
    notify().afterInsert();
    return added;
}

LinkNode* LinkTree::addRootNode(const std::string& name) {
    auto node = std::make_unique<LinkNode>();
    node->text_ = name;
    LinkNode* root = insertNode(nullptr, std::move(node));
    select(root);
    return root;
}

LinkNode* LinkTree::addFolderNode(LinkNode* parent, const std::string& name) {
    auto node = std::make_unique<LinkNode>();
    node->text_ = name;
    node->data_.kind = LinkKind::Folder;
    return insertNode(parent, std::move(node));
}

LinkNode* LinkTree::addLinkNode(LinkNode* target, const std::string& name, const std::string& url,
                                int32_t delay, bool asChild) {
    auto node = std::make_unique<LinkNode>();
    node->text_ = name;
    node->data_ = {LinkKind::Link, utf8Left(url, kMaxLinkURLLength), delay};
    return insertNode(asChild ? target : target->parent_, std::move(node));
}

LinkNode* LinkTree::addFolderToSelected(const std::string& name) {
    if (!selected_)
        return nullptr;
    LinkNode* node = addFolderNode(selected_, name);
    setExpanded(selected_, true);
    return node;
}

LinkNode* LinkTree::addLinkToSelected(const std::string& name, const std::string& url,
                                      int32_t delay) {
    if (!selected_)
        return nullptr;
    LinkNode* node = addLinkNode(selected_, name, url, delay, true);
    setExpanded(selected_, true);
    return node;
}

bool LinkTree::isWithin(const LinkNode* node, const LinkNode* ancestor) const {
    for (const LinkNode* n = node; n; n = n->parent_)
        if (n == ancestor)
            return true;
    return false;
}

void LinkTree::deleteChildren(LinkNode* node) {
    if (!node->hasChildren())
        return;
    setExpanded(node, false);
    if (selected_ && selected_ != node && isWithin(selected_, node))
        selected_ = nullptr;
    notify().beforeRemove(node, 0, node->childCount() - 1);
    node->children_.clear();
    notify().afterRemove();
    select(node);
}

void LinkTree::deleteLinkNode(LinkNode* node) {
    deleteChildren(node);
    LinkNode* next = nextSibling(node);
    if (!next)
        next = previousSibling(node);
    if (!next)
        next = node->parent_;
    int row = rowOf(node);
    LinkNode* parent = node->parent_;
    if (selected_ == node)
        selected_ = nullptr;
    notify().beforeRemove(parent, row, row);
    auto& list = siblingsOf(node);
    list.erase(list.begin() + row);
    notify().afterRemove();
    if (!selected_ && next)
        select(next);
    else if (!selected_)
        notify().selectionChanged(nullptr);
}

void LinkTree::setText(LinkNode* node, const std::string& text) {
    node->text_ = text;
    notify().nodeChanged(node);
}

void LinkTree::setData(LinkNode* node, const LinkNodeData& data) {
    node->data_ = data;
    node->data_.url = utf8Left(data.url, kMaxLinkURLLength);
    notify().nodeChanged(node);
}

void LinkTree::moveNode(LinkNode* node, LinkNode* newParent, int row) {
    if (isWithin(newParent, node))
        return;
    int from = rowOf(node);
    LinkNode* oldParent = node->parent_;
    auto& oldList = siblingsOf(node);
    auto& newList = newParent ? newParent->children_ : top_;
    row = std::clamp(row, 0, static_cast<int>(newList.size()) - (oldParent == newParent ? 1 : 0));
    if (oldParent == newParent && row == from)
        return;
    // Qt-style destination: the row before which the node lands, counted before its removal.
    int toRow = (oldParent == newParent && row > from) ? row + 1 : row;
    notify().beforeMove(oldParent, from, newParent, toRow);
    std::unique_ptr<LinkNode> owned = std::move(oldList[static_cast<size_t>(from)]);
    oldList.erase(oldList.begin() + from);
    owned->parent_ = newParent;
    newList.insert(newList.begin() + row, std::move(owned));
    notify().afterMove();
}

void LinkTree::select(LinkNode* node) {
    for (LinkNode* p = node ? node->parent_ : nullptr; p; p = p->parent_)
        setExpanded(p, true);
    if (selected_ == node)
        return;
    selected_ = node;
    notify().selectionChanged(node);
}

void LinkTree::setExpanded(LinkNode* node, bool expanded) {
    if (node->expanded_ == expanded)
        return;
    node->expanded_ = expanded;
    notify().expansionChanged(node);
}

void LinkTree::setAllExpanded(bool expanded) {
    forEachNode([&](LinkNode* n) {
        if (n->hasChildren())
            setExpanded(n, expanded);
        return false;
    });
}

bool LinkTree::forEachNode(const std::function<bool(LinkNode*)>& visit) const {
    return walkPreorder(top_, visit, [](LinkNode* n) -> const NodeList& { return n->children_; });
}

int LinkTree::absoluteIndex(const LinkNode* node) const {
    int index = 0;
    bool found = forEachNode([&](LinkNode* n) { return n == node || (++index, false); });
    return found ? index : -1;
}

LinkNode* LinkTree::nodeAt(int target) const {
    int index = 0;
    LinkNode* found = nullptr;
    forEachNode([&](LinkNode* n) {
        if (index++ != target)
            return false;
        found = n;
        return true;
    });
    return found;
}

int LinkTree::nodeCount() const {
    int count = 0;
    forEachNode([&](LinkNode*) { return ++count, false; });
    return count;
}

bool LinkTree::selectFirstLink() {
    LinkNode* first = nullptr;
    forEachNode([&](LinkNode* n) {
        if (n->kind() != LinkKind::Link)
            return false;
        first = n;
        return true;
    });
    if (first)
        select(first);
    return first != nullptr;
}

LinkNode* LinkTree::findInsertFolder() const {
    LinkNode* node = selected_;
    while (node && node->kind() == LinkKind::Link)
        node = node->parent_;
    return node;
}

bool LinkTree::getSelectedLinkData(LinkNode*& node, LinkNodeData& data) const {
    node = selected_;
    if (!node)
        return false;
    data = node->data_;
    return true;
}

NodeCommands enabledCommands(LinkKind kind) {
    return {kind != LinkKind::Link, kind != LinkKind::Root, kind == LinkKind::Link};
}

int LinkTree::updateNodePicture(const LinkNode* node) {
    const bool open = node->hasChildren() && node->expanded();
    switch (node->kind()) {
    case LinkKind::Root:
        return open ? 1 : 0;
    case LinkKind::Folder:
        return open ? 3 : 2;
    case LinkKind::Link:
        return 4;
    }
    return 4;
}

} // namespace kestrix
