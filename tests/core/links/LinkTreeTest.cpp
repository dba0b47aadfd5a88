#include "core/links/LinkTree.h"

#include "core/links/CurrentLink.h"

#include <gtest/gtest.h>

using namespace kestrix;

namespace {

// Root > A(folder) > [a1(link), B(folder) > b1(link)], C(folder), c(link)
struct Sample {
    LinkTree tree;
    LinkNode *root, *a, *a1, *b, *b1, *c, *cLink;
    Sample() {
        root = tree.addRootNode("Image Links");
        a = tree.addFolderNode(root, "A");
        a1 = tree.addLinkNode(a, "a1", "http://a/1", 30, true);
        b = tree.addFolderNode(a, "B");
        b1 = tree.addLinkNode(b, "b1", "http://b/1", 60, true);
        c = tree.addFolderNode(root, "C");
        cLink = tree.addLinkNode(c, "c", "http://c", 5, false); // sibling of C
    }
};

} // namespace

TEST(LinkTree, AbsoluteIndexIsPreorder) {
    Sample s;
    const LinkNode* order[] = {s.root, s.a, s.a1, s.b, s.b1, s.c, s.cLink};
    EXPECT_EQ(s.tree.nodeCount(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(s.tree.absoluteIndex(order[i]), i);
        EXPECT_EQ(s.tree.nodeAt(i), order[i]);
    }
    EXPECT_EQ(s.tree.nodeAt(7), nullptr);
    EXPECT_EQ(s.tree.nodeAt(-1), nullptr);
    EXPECT_EQ(s.cLink->parent(), s.root);
}

TEST(LinkTree, SelectionHelpers) {
    Sample s;
    EXPECT_EQ(s.tree.selected(), s.root); // addRootNode selects the root
    EXPECT_TRUE(s.tree.selectFirstLink());
    EXPECT_EQ(s.tree.selected(), s.a1);
    EXPECT_TRUE(s.a->expanded()); // selecting made it visible

    s.tree.select(s.b1);
    EXPECT_EQ(s.tree.findInsertFolder(), s.b);
    s.tree.select(s.c);
    EXPECT_EQ(s.tree.findInsertFolder(), s.c);

    LinkTree folders;
    LinkNode* r = folders.addRootNode("R");
    LinkNode* f = folders.addFolderNode(r, "F");
    folders.select(f);
    EXPECT_FALSE(folders.selectFirstLink());
    EXPECT_EQ(folders.selected(), f);
}

TEST(LinkTree, AddressesAreCutTo255Characters) {
    LinkTree tree;
    LinkNode* r = tree.addRootNode("R");
    LinkNode* l = tree.addLinkNode(r, "L", std::string(300, 'x'), 60, true);
    EXPECT_EQ(l->data().url.size(), 255u);
    tree.setData(l, {LinkKind::Link, std::string(400, 'y'), 1});
    EXPECT_EQ(l->data().url, std::string(255, 'y'));
}

TEST(LinkTree, DeletingReleasesTheBranchAndSelectsANeighbour) {
    Sample s;
    s.tree.select(s.b1);
    s.tree.deleteLinkNode(s.a);
    EXPECT_EQ(s.tree.nodeCount(), 3);
    EXPECT_EQ(s.tree.selected(), s.c);
    s.tree.deleteLinkNode(s.cLink);
    EXPECT_EQ(s.tree.selected(), s.c);
    s.tree.deleteLinkNode(s.c);
    EXPECT_EQ(s.tree.selected(), s.root);
}

TEST(LinkTree, PicturesFollowKindAndExpansion) {
    Sample s;
    EXPECT_EQ(LinkTree::updateNodePicture(s.root), 0);
    s.tree.setExpanded(s.root, true);
    EXPECT_EQ(LinkTree::updateNodePicture(s.root), 1);
    EXPECT_EQ(LinkTree::updateNodePicture(s.a), 2);
    s.tree.setExpanded(s.a, true);
    EXPECT_EQ(LinkTree::updateNodePicture(s.a), 3);
    EXPECT_EQ(LinkTree::updateNodePicture(s.a1), 4);
    s.tree.setExpanded(s.c, true); // expanded but empty: closed picture
    EXPECT_EQ(LinkTree::updateNodePicture(s.c), 2);
}

TEST(LinkTree, MovesKeepTheTreeConsistent) {
    Sample s;
    s.tree.moveNode(s.cLink, s.a, 0);
    EXPECT_EQ(s.a->child(0), s.cLink);
    EXPECT_EQ(s.cLink->parent(), s.a);
    s.tree.moveNode(s.a, s.b, 0); // into its own descendant: refused
    EXPECT_EQ(s.a->parent(), s.root);
    s.tree.moveNode(s.cLink, s.a, 5); // clamped to the end
    EXPECT_EQ(s.a->child(s.a->childCount() - 1), s.cLink);
}

TEST(CurrentLink, CaptionRule) {
    struct Case {
        const char* name;
        int frames;
        const char* caption;
    } cases[] = {
        {"Radar: Denver", 0, " Denver (0) - Kestrix"},
        {"C:\\cams\\porch", 12, "porch (12) - Kestrix"},
        {"a:b\\c", 1, "c (1) - Kestrix"},
        {"Plain", 3, "Plain (3) - Kestrix"},
        {"ends:", 0, " (0) - Kestrix"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mainCaption({c.name, "", 60}, c.frames), c.caption);
    EXPECT_EQ(currentLinkLabel({"Radar: Denver", "", 60}), "Radar: Denver ");
    EXPECT_EQ(initialCurrentLink().name, "Mt. Saint Hellens");
    EXPECT_EQ(initialCurrentLink().delay, 60);
}

TEST(CurrentLink, OnlyALinkBecomesCurrent) {
    Sample s;
    LinkInfo link = initialCurrentLink();
    s.tree.select(s.a);
    EXPECT_FALSE(takeSelectedLink(s.tree, link));
    EXPECT_EQ(link.name, "Mt. Saint Hellens");
    s.tree.select(s.b1);
    EXPECT_TRUE(takeSelectedLink(s.tree, link));
    EXPECT_EQ(link.name, "b1");
    EXPECT_EQ(link.url, "http://b/1");
    EXPECT_EQ(link.delay, 60);
}
