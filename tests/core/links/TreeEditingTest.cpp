#include "core/links/TreeEditing.h"

#include "core/links/LinkFile.h"

#include <gtest/gtest.h>

using namespace kestrix;

namespace {

// Root > Weather(F) > [Denver(L), Colorado(F) > [Golden(L), Boulder(L)]], Cams(F) > [Lobby(L)]
struct EditSample {
    LinkTree tree;
    LinkNode *root, *weather, *denver, *colorado, *golden, *boulder, *cams, *lobby;
    EditSample() {
        root = tree.addRootNode("Image Links");
        weather = tree.addFolderNode(root, "Weather");
        denver = tree.addLinkNode(weather, "Radar: DENVER", "http://d", 60, true);
        colorado = tree.addFolderNode(weather, "Colorado");
        golden = tree.addLinkNode(colorado, "Golden", "http://g", 60, true);
        boulder = tree.addLinkNode(colorado, "Boulder", "http://b", 60, true);
        cams = tree.addFolderNode(root, "Cams");
        lobby = tree.addLinkNode(cams, "Lobby", "http://l", 60, true);
    }
    std::string names(LinkNode* parent) {
        std::string out;
        for (int i = 0; i < parent->childCount(); ++i)
            out += (i ? "," : "") + parent->child(i)->text();
        return out;
    }
};

} // namespace

TEST(TreeEditing, SearchDownAndUpWithoutWrapping) {
    EditSample s;
    s.tree.select(s.root);
    EXPECT_EQ(findLinkNode(s.tree, "den", true), s.denver);
    EXPECT_EQ(findLinkNode(s.tree, "O", true), s.colorado);
    s.tree.select(s.lobby);
    EXPECT_EQ(findLinkNode(s.tree, "den", true), nullptr); // no wrap-around
    EXPECT_EQ(findLinkNode(s.tree, "den", false), s.golden);
    s.tree.select(s.weather);
    EXPECT_EQ(findLinkNode(s.tree, "image", false), nullptr); // the root is never found
    EXPECT_EQ(findLinkNode(s.tree, "zzz", true), nullptr);
}

TEST(TreeEditing, MovesStayAmongSiblings) {
    EditSample s;
    EXPECT_FALSE(moveUp(s.tree, s.golden));
    EXPECT_TRUE(moveDown(s.tree, s.golden));
    EXPECT_EQ(s.names(s.colorado), "Boulder,Golden");
    EXPECT_FALSE(moveDown(s.tree, s.golden));
    EXPECT_TRUE(moveUp(s.tree, s.cams));
    EXPECT_EQ(s.names(s.root), "Cams,Weather");
    EXPECT_FALSE(moveUp(s.tree, s.root));
}

TEST(TreeEditing, DragAndDropRules) {
    EditSample s;
    EXPECT_FALSE(acceptsTreeDrop(s.root, s.weather));
    EXPECT_FALSE(acceptsTreeDrop(s.colorado, s.lobby)); // a folder onto a link
    EXPECT_TRUE(acceptsTreeDrop(s.colorado, s.cams));
    EXPECT_TRUE(acceptsTreeDrop(s.lobby, s.root));
    EXPECT_TRUE(acceptsTreeDrop(s.lobby, s.golden));
    EXPECT_FALSE(acceptsTreeDrop(s.lobby, nullptr));

    // A link onto a link, across folders: just before the target.
    EXPECT_TRUE(moveLinkNode(s.tree, s.lobby, s.boulder));
    EXPECT_EQ(s.names(s.colorado), "Golden,Lobby,Boulder");
    EXPECT_EQ(s.names(s.cams), "");
    // Within the same folder, before a later sibling.
    EXPECT_TRUE(moveLinkNode(s.tree, s.golden, s.boulder));
    EXPECT_EQ(s.names(s.colorado), "Lobby,Golden,Boulder");
    // A folder onto a folder: its first child; the new parent opens.
    s.tree.setExpanded(s.cams, false);
    EXPECT_TRUE(moveLinkNode(s.tree, s.colorado, s.cams));
    EXPECT_EQ(s.names(s.cams), "Colorado");
    EXPECT_TRUE(s.cams->expanded());
    // Onto its own branch, or itself: stays.
    EXPECT_FALSE(moveLinkNode(s.tree, s.cams, s.colorado));
    EXPECT_FALSE(moveLinkNode(s.tree, s.cams, s.cams));
    EXPECT_EQ(s.cams->parent(), s.root);

    // The address bar's picture on a link in a folder: "New" at the end of that folder.
    LinkNode* added = dropAddressLink(s.tree, s.denver, std::string(300, 'a'));
    EXPECT_EQ(added->parent(), s.weather);
    EXPECT_EQ(s.weather->child(s.weather->childCount() - 1), added);
    EXPECT_EQ(added->text(), "New");
    EXPECT_EQ(added->data().url.size(), 255u);
    EXPECT_EQ(added->data().delay, 60);
    EXPECT_EQ(dropAddressLink(s.tree, s.root, "x")->parent(), s.root);
}

TEST(TreeEditing, ApostrophesAroundAddresses) {
    EXPECT_EQ(stripApostrophes("'http://x/it's'"), "http://x/it's");
    EXPECT_EQ(stripApostrophes("'''a''"), "a");
    EXPECT_EQ(stripApostrophes("''''"), "");
    EXPECT_EQ(stripApostrophes("plain"), "plain");
    EXPECT_EQ(stripApostrophes(""), "");
}

TEST(TreeEditing, AutoScrollZones) {
    struct Case {
        int x, y;
        bool atTop, atBottom, wanted;
    } cases[] = {
        {50, 5, false, false, true},    {50, -12, false, false, true},
        {50, 12, false, false, false},  {50, 5, true, false, false},
        {50, 195, false, false, true},  {50, 211, false, false, true},
        {50, 212, false, false, false}, {50, 195, false, true, false},
        {-1, 5, false, false, false},   {101, 195, false, false, false},
        {100, 195, false, false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(autoScrollWanted(c.x, c.y, 100, 200, c.atTop, c.atBottom), c.wanted)
            << c.x << "," << c.y;
    EXPECT_EQ(autoScrollStep(9, 200), -1);
    EXPECT_EQ(autoScrollStep(10, 200), 0);
    EXPECT_EQ(autoScrollStep(190, 200), 0);
    EXPECT_EQ(autoScrollStep(191, 200), 1);
}
