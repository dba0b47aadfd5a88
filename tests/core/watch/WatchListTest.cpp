// The links of a link file as the headless watch takes them: folders, safe and unique picture
// folders, and shards that split a file with every link in exactly one.
#include "core/watch/WatchList.h"

#include "core/links/LinkFile.h"
#include "core/links/LinkTree.h"

#include <gtest/gtest.h>
#include <set>

using namespace kestrix;

namespace {

std::vector<WatchedLink> linksOf(const std::string& xml) {
    LinkTree tree;
    readLinkStream(xml, tree, tree.addRootNode("Image Links"));
    return watchedLinks(tree);
}

std::string urlItem(const std::string& name, int delay = 60) {
    return "<URLItem URLName=\"" + name + "\" URLAddress=\"http://cam/" + std::to_string(delay) +
           ".jpg\" URLDelay=\"" + std::to_string(delay) + "\" Selected=\"no\"/>";
}

} // namespace

TEST(WatchList, NamesAreMadeSafeForFiles) {
    EXPECT_EQ(safeFileName("Etna"), "Etna");
    EXPECT_EQ(safeFileName(".."), "_.");
    EXPECT_EQ(safeFileName(".hidden"), "_hidden");
    EXPECT_EQ(safeFileName("a/b\\c"), "a_b_c");
    EXPECT_EQ(safeFileName("tab\there\x7F\n"), "tab_here__");
    EXPECT_EQ(safeFileName(""), "_");
    EXPECT_EQ(safeFileName(std::string(150, 'x')).size(), 100u);
    // 99 bytes, then a two-byte character that would end at byte 101: it is left out whole.
    EXPECT_EQ(safeFileName(std::string(99, 'x') + "\xC3\xA9"), std::string(99, 'x'));
    EXPECT_EQ(safeFileName("Ätna ☃"), "Ätna ☃");
}

TEST(WatchList, EveryLinkWithItsFoldersAndAFolderOfItsOwn) {
    const auto links =
        linksOf("<ImageAddressXML KSX=\"1.0\">" + urlItem("Top", 0) +
                "<FolderItem FolderName=\"Volcanos\"><FolderItem FolderName=\"a/b\">" +
                urlItem("Cam", 5) + urlItem("Cam") + urlItem("Cam-2") +
                "</FolderItem></FolderItem><FolderItem FolderName=\"a_b\">" + urlItem("Cam") +
                "</FolderItem><FolderItem FolderName=\"Empty\"/>" + "</ImageAddressXML>");
    ASSERT_EQ(links.size(), 5u);
    EXPECT_EQ(links[0].path, "Top");
    EXPECT_EQ(links[0].directory, "Top");
    EXPECT_EQ(links[0].interval, 0);
    EXPECT_EQ(links[1].folders, (std::vector<std::string>{"Volcanos", "a/b"}));
    EXPECT_EQ(links[1].path, "Volcanos/a/b/Cam");
    EXPECT_EQ(links[1].address, "http://cam/5.jpg");
    EXPECT_EQ(links[1].interval, 5);
    // Collisions are settled in the file's order.
    EXPECT_EQ(links[1].directory, "Volcanos/a_b/Cam");
    EXPECT_EQ(links[2].directory, "Volcanos/a_b/Cam-2");
    EXPECT_EQ(links[3].directory, "Volcanos/a_b/Cam-2-2");
    EXPECT_EQ(links[4].directory, "a_b/Cam");
}

TEST(WatchList, ShardsSplitTheLinksOnceAndStayTheSame) {
    std::string xml = "<ImageAddressXML KSX=\"1.0\"><FolderItem FolderName=\"F\">";
    for (int i = 0; i < 300; ++i)
        xml += urlItem("Cam " + std::to_string(i));
    const auto links = linksOf(xml + "</FolderItem></ImageAddressXML>");
    std::vector<int> sizes(3);
    for (const WatchedLink& l : links) {
        const uint32_t shard = shardOf(l, 3);
        ASSERT_LT(shard, 3u);
        ++sizes[shard];
    }
    for (const int size : sizes)
        EXPECT_GT(size, 60) << "a fair share of 300";
    EXPECT_EQ(sizes[0] + sizes[1] + sizes[2], 300);
    EXPECT_EQ(shardOf(links[0], 1), 0u);
    // The hash must not change between versions: shards run by different programs must agree.
    EXPECT_EQ(shardOf(links[0], 1000), shardOf(links[0], 1000));
    WatchedLink fixed;
    fixed.folders = {"Volcanos"};
    fixed.name = "Etna";
    EXPECT_EQ(shardOf(fixed, 1u << 31), 1110138484u);
    WatchedLink moved = fixed;
    moved.folders = {"Volcano"};
    moved.name = "sEtna";
    EXPECT_NE(shardOf(moved, 1u << 31), shardOf(fixed, 1u << 31));
}
