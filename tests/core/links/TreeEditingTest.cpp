#include "links/LinkFile.h"
#include "links/TreeEditing.h"

#include <gtest/gtest.h>

using namespace kestrix;

namespace {

// Root > Weather(F) > [Denver(L), Colorado(F) > [Golden(L), Boulder(L)]], Cams(F) > [Lobby(L)]
struct Sample {
    LinkTree tree;
    LinkNode *root, *weather, *denver, *colorado, *golden, *boulder, *cams, *lobby;
    Sample() {
        root = tree.AddRootNode("Image Links");
        weather = tree.AddFolderNode(root, "Weather");
        denver = tree.AddLinkNode(weather, "Radar: DENVER", "http://d", 60, true);
        colorado = tree.AddFolderNode(weather, "Colorado");
        golden = tree.AddLinkNode(colorado, "Golden", "http://g", 60, true);
        boulder = tree.AddLinkNode(colorado, "Boulder", "http://b", 60, true);
        cams = tree.AddFolderNode(root, "Cams");
        lobby = tree.AddLinkNode(cams, "Lobby", "http://l", 60, true);
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
    Sample s;
    s.tree.select(s.root);
    EXPECT_EQ(FindLinkNode(s.tree, "den", true), s.denver);
    EXPECT_EQ(FindLinkNode(s.tree, "O", true), s.colorado);
    s.tree.select(s.lobby);
    EXPECT_EQ(FindLinkNode(s.tree, "den", true), nullptr); // no wrap-around
    EXPECT_EQ(FindLinkNode(s.tree, "den", false), s.golden);
    s.tree.select(s.weather);
    EXPECT_EQ(FindLinkNode(s.tree, "image", false), nullptr); // the root is never found
    EXPECT_EQ(FindLinkNode(s.tree, "zzz", true), nullptr);
}

TEST(TreeEditing, MovesStayAmongSiblings) {
    Sample s;
    EXPECT_FALSE(moveUp(s.tree, s.golden));
    EXPECT_TRUE(moveDown(s.tree, s.golden));
    EXPECT_EQ(s.names(s.colorado), "Boulder,Golden");
    EXPECT_FALSE(moveDown(s.tree, s.golden));
    EXPECT_TRUE(moveUp(s.tree, s.cams));
    EXPECT_EQ(s.names(s.root), "Cams,Weather");
    EXPECT_FALSE(moveUp(s.tree, s.root));
}

TEST(TreeEditing, DragAndDropRules) {
    Sample s;
    EXPECT_FALSE(acceptsTreeDrop(s.root, s.weather));
    EXPECT_FALSE(acceptsTreeDrop(s.colorado, s.lobby)); // a folder onto a link
    EXPECT_TRUE(acceptsTreeDrop(s.colorado, s.cams));
    EXPECT_TRUE(acceptsTreeDrop(s.lobby, s.root));
    EXPECT_TRUE(acceptsTreeDrop(s.lobby, s.golden));
    EXPECT_FALSE(acceptsTreeDrop(s.lobby, nullptr));

    // A link onto a link, across folders: just before the target.
    EXPECT_TRUE(MoveLinkNode(s.tree, s.lobby, s.boulder));
    EXPECT_EQ(s.names(s.colorado), "Golden,Lobby,Boulder");
    EXPECT_EQ(s.names(s.cams), "");
    // Within the same folder, before a later sibling.
    EXPECT_TRUE(MoveLinkNode(s.tree, s.golden, s.boulder));
    EXPECT_EQ(s.names(s.colorado), "Lobby,Golden,Boulder");
    // A folder onto a folder: its first child; the new parent opens.
    s.tree.setExpanded(s.cams, false);
    EXPECT_TRUE(MoveLinkNode(s.tree, s.colorado, s.cams));
    EXPECT_EQ(s.names(s.cams), "Colorado");
    EXPECT_TRUE(s.cams->expanded());
    // Onto its own branch, or itself: stays.
    EXPECT_FALSE(MoveLinkNode(s.tree, s.cams, s.colorado));
    EXPECT_FALSE(MoveLinkNode(s.tree, s.cams, s.cams));
    EXPECT_EQ(s.cams->parent(), s.root);

    // The address bar's picture on a link in a folder: "New" at the end of that folder.
    LinkNode* added = dropAddressLink(s.tree, s.denver, std::string(300, 'a'));
    EXPECT_EQ(added->parent(), s.weather);
    EXPECT_EQ(s.weather->child(s.weather->childCount() - 1), added);
    EXPECT_EQ(added->text(), "New");
    EXPECT_EQ(added->data().URL.size(), 255u);
    EXPECT_EQ(added->data().Delay, 60);
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
        {50, 5, false, false, true},   {50, -12, false, false, true}, {50, 12, false, false, false},
        {50, 5, true, false, false},   {50, 195, false, false, true}, {50, 211, false, false, true},
        {50, 212, false, false, false}, {50, 195, false, true, false}, {-1, 5, false, false, false},
        {101, 195, false, false, false}, {100, 195, false, false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(autoScrollWanted(c.x, c.y, 100, 200, c.atTop, c.atBottom), c.wanted)
            << c.x << "," << c.y;
    EXPECT_EQ(autoScrollStep(9, 200), -1);
    EXPECT_EQ(autoScrollStep(10, 200), 0);
    EXPECT_EQ(autoScrollStep(190, 200), 0);
    EXPECT_EQ(autoScrollStep(191, 200), 1);
}
