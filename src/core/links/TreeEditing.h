// The rules of editing the link tree: search, moving nodes, dropping nodes and the address bar's
// link picture, and the cleaning of typed addresses.
#pragma once

#include "core/links/LinkTree.h"

#include <string>

namespace kestrix {

// The first node after (down) or before (up) the selected node, in absolute-index order, whose
// text contains `text` ignoring letter case; the root is never the answer. Null when nothing
// matches (no wrap-around).
LinkNode* findLinkNode(const LinkTree& tree, const std::string& text, bool down);

// Moves the node one place among its siblings; false when it is already first (last).
bool moveUp(LinkTree& tree, LinkNode* node);
bool moveDown(LinkTree& tree, LinkNode* node);

// Whether a node dragged inside the tree may be dropped on `target`: never the root; onto the
// root or a folder, or a link onto a link.
bool acceptsTreeDrop(const LinkNode* dragged, const LinkNode* target);
// A link dropped on a link lands just before it, under its parent; anything else becomes the
// first child of the target. A node dropped on itself or its own branch stays. The new parent is
// expanded. Answers whether the node moved.
bool moveLinkNode(LinkTree& tree, LinkNode* dragged, LinkNode* target);
// The address bar's picture dropped on `target`: a link "New" with the address (cut to 255
// characters) and 60 seconds, last under a root or folder target, last in a link target's folder.
LinkNode* dropAddressLink(LinkTree& tree, LinkNode* target, const std::string& address);

// Whether the pointer of a drag at (x, y) in a tree of the given client size should scroll it:
// within 12 pixels of the top while the view can scroll up, or of the bottom while it can
// scroll down; never with the pointer beside the tree.
bool autoScrollWanted(int x, int y, int width, int height, bool atTop, bool atBottom);
// The scroll step of a scroller tick: -1 up (pointer at 9 or less), +1 down (beyond height - 10),
// 0 otherwise.
int autoScrollStep(int y, int height);

// The address with every leading and trailing apostrophe removed.
std::string stripApostrophes(const std::string& address);

} // namespace kestrix
