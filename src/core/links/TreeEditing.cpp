#include "core/links/TreeEditing.h"

#include "core/util/Text.h"

namespace kestrix {

LinkNode* findLinkNode(const LinkTree& tree, const std::string& text, bool down) {
    const int start = tree.absoluteIndex(tree.selected());
    const int count = tree.nodeCount();
    const std::string wanted = toLowerAscii(text);
    for (int i = down ? start + 1 : start - 1; down ? i < count : i >= 0; i += down ? 1 : -1) {
        LinkNode* node = tree.nodeAt(i);
        if (toLowerAscii(node->text()).find(wanted) != std::string::npos)
            return i == 0 ? nullptr : node;
    }
    return nullptr;
}

bool moveUp(LinkTree& tree, LinkNode* node) {
    const int row = tree.rowOf(node);
    if (row <= 0)
        return false;
    tree.moveNode(node, node->parent(), row - 1);
    return true;
}

bool moveDown(LinkTree& tree, LinkNode* node) {
    LinkNode* next = tree.nextSibling(node);
    if (!next)
        return false;
    tree.moveNode(next, next->parent(), tree.rowOf(node));
    return true;
}

bool acceptsTreeDrop(const LinkNode* dragged, const LinkNode* target) {
    if (!dragged || !target || dragged->kind() == LinkKind::Root)
        return false;
    return target->kind() != LinkKind::Link ||
           (dragged->kind() == LinkKind::Link && target->kind() == LinkKind::Link);
}

bool moveLinkNode(LinkTree& tree, LinkNode* dragged, LinkNode* target) {
    if (!acceptsTreeDrop(dragged, target))
        return false;
    for (const LinkNode* n = target; n; n = n->parent())
        if (n == dragged)
            return false;
    LinkNode* parent;
    int row;
    if (dragged->kind() == LinkKind::Link && target->kind() == LinkKind::Link) {
        parent = target->parent();
        row = tree.rowOf(target);
        // Counted after the dragged node leaves its place.
        if (dragged->parent() == parent && tree.rowOf(dragged) < row)
            --row;
    } else {
        parent = target;
        row = 0;
    }
    tree.moveNode(dragged, parent, row);
    if (parent)
        tree.setExpanded(parent, true);
    return true;
}

LinkNode* dropAddressLink(LinkTree& tree, LinkNode* target, const std::string& address) {
    if (!target)
        return nullptr;
    return tree.addLinkNode(target, "New", address, 60, target->kind() != LinkKind::Link);
}

bool autoScrollWanted(int x, int y, int width, int height, bool atTop, bool atBottom) {
    if (x < 0 || x > width)
        return false;
    if (y >= -12 && y < 12 && !atTop)
        return true;
    return y > height - 12 && y < height + 12 && !atBottom;
}

int autoScrollStep(int y, int height) {
    if (y <= 9)
        return -1;
    return y > height - 10 ? 1 : 0;
}

std::string stripApostrophes(const std::string& address) {
    const size_t first = address.find_first_not_of('\'');
    if (first == std::string::npos)
        return "";
    return address.substr(first, address.find_last_not_of('\'') - first + 1);
}

} // namespace kestrix
