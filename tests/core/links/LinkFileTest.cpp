#include "core/links/LinkFile.h"

#include "core/links/BuiltInLinks.h"
#include "core/links/LinkLibrary.h"
#include "core/util/Error.h"
#include "support/Child.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

std::string describe(const LinkTree& tree) {
    std::string out;
    tree.forEachNode([&](LinkNode* n) {
        int depth = 0;
        for (LinkNode* p = n->parent(); p; p = p->parent())
            ++depth;
        out += std::string(static_cast<size_t>(depth), '.') + n->text();
        if (n->kind() == LinkKind::Link)
            out += "|" + n->data().url + "|" + std::to_string(n->data().delay);
        if (tree.selected() == n)
            out += "*";
        out += "\n";
        return false;
    });
    return out;
}

struct Library {
    ScriptedDialogs dialogs;
    LinkLibrary lib{dialogs};
    LinkTree& tree = lib.tree();
};

} // namespace

TEST(LinkFile, WritesTheDocumentedLayout) {
    Library l;
    LinkNode* root = l.tree.addRootNode("Image Links");
    LinkNode* folder = l.tree.addFolderNode(root, "Volcanos");
    LinkNode* link = l.tree.addLinkNode(folder, "Mt. Saint Hellens", "http://x/cam.jpg", 60, true);
    l.tree.addFolderNode(root, "Empty");
    l.tree.select(link);
    EXPECT_EQ(writeLinkTreeText(l.tree, root),
              "<ImageAddressXML KSX=\"1.0\">\r\n"
              "  <FolderItem FolderName=\"Volcanos\">\r\n"
              "    <URLItem URLName=\"Mt. Saint Hellens\" URLAddress=\"http://x/cam.jpg\" "
              "URLDelay=\"60\" Selected=\"yes\"/>\r\n"
              "  </FolderItem>\r\n"
              "  <FolderItem FolderName=\"Empty\"/>\r\n"
              "</ImageAddressXML>\r\n");
}

TEST(LinkFile, TrickyNamesRoundTrip) {
    Library l;
    LinkNode* root = l.tree.addRootNode("Image Links");
    const std::string name = "A & B <c> \"q\" 'a'\r\nline\ttab \xC3\xA9";
    LinkNode* f = l.tree.addFolderNode(root, name);
    l.tree.addLinkNode(f, name, "http://h/p?a=1&b=<2>", -5, true);
    std::string text = writeLinkTreeText(l.tree, root);

    Library back;
    back.lib.loadLinksFromStream(text);
    LinkNode* f2 = back.tree.root()->child(0);
    EXPECT_EQ(f2->text(), name);
    EXPECT_EQ(f2->child(0)->text(), name);
    EXPECT_EQ(f2->child(0)->data().url, "http://h/p?a=1&b=<2>");
    EXPECT_EQ(f2->child(0)->data().delay, -5);
}

TEST(LinkFile, ReadingRules) {
    Library l;
    l.lib.loadLinksFromStream(
        "<?xml version=\"1.0\"?>\n"
        "<Other><!-- note -->\n"
        "  <FolderItem/>\n"
        "  <Junk><URLItem URLName=\"hidden\"/></Junk>\n"
        "  <k:FolderItem xmlns:k=\"urn:k\" FolderName=\"F\">\n"
        "    <URLItem/>\n"
        "    <URLItem URLName=\"yes-cap\" Selected=\"Yes\"><URLItem URLName=\"child\"/></URLItem>\n"
        "    <URLItem URLName=\"first\" URLDelay=\"7\" Selected=\"yes\"/>\n"
        "    <URLItem URLName=\"last\" URLAddress=\"\" Selected=\"yes\"/>\n"
        "  </k:FolderItem>\n"
        "</Other>\n");
    EXPECT_EQ(describe(l.tree), "Image Links\n"
                                ".Folder\n"
                                ".F\n"
                                "..URL|URL|60\n"
                                "..yes-cap|URL|60\n"
                                "..first|URL|7\n"
                                "..last||60*\n");
    EXPECT_TRUE(l.tree.root()->child(1)->expanded());
    EXPECT_FALSE(l.tree.root()->child(0)->expanded());
}

TEST(LinkFile, Latin1DeclarationAndUtf16AreDecoded) {
    Library l;
    l.lib.loadLinksFromStream("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                              "<ImageAddressXML><FolderItem FolderName=\"Caf\xE9\"/>"
                              "</ImageAddressXML>");
    EXPECT_EQ(l.tree.root()->child(0)->text(), "Caf\xC3\xA9");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("<a><FolderItem FolderName=\"W\"/></a>")) {
        utf16 += c;
        utf16 += '\0';
    }
    l.lib.loadLinksFromStream(utf16);
    EXPECT_EQ(l.tree.root()->child(0)->text(), "W");
}

TEST(LinkFile, ErrorsAndEmptyFiles) {
    Library l;
    try {
        l.lib.loadLinksFromStream("<ImageAddressXML>\r\n  <FolderItem FolderName=\"a\">\r\n"
                                  "  </URLItem> and some more text that runs past forty\r\n");
        FAIL();
    } catch (const Error& e) {
        std::string m = e.what();
        const std::string tail = "\nLine: 3\n  </URLItem> and some more text that run";
        ASSERT_GT(m.size(), tail.size());
        EXPECT_EQ(m.substr(m.size() - tail.size()), tail) << m;
    }
    EXPECT_EQ(describe(l.tree), "Image Links*\n");

    try {
        l.lib.loadLinksFromStream("<a><URLItem URLName=\"ok\"/><URLItem URLDelay=\"6o\"/>"
                                  "<URLItem URLName=\"never\"/></a>");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'6o' is not a valid integer value");
    }
    EXPECT_EQ(describe(l.tree), "Image Links*\n.ok|URL|60\n");

    l.lib.loadLinksFromStream("  \r\n");
    EXPECT_EQ(l.dialogs.messages, std::vector<std::string>{"Empty Link File"});
    EXPECT_EQ(describe(l.tree), "Image Links*\n");

    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<FolderItem>";
    EXPECT_THROW(l.lib.loadLinksFromStream("<a>" + deep + "</a>"), Error);
    // Entities are never expanded from a document type.
    l.lib.loadLinksFromStream("<!DOCTYPE a [<!ENTITY x \"xxxxxxxx\">]>"
                              "<a><FolderItem FolderName=\"&x;&x;\"/></a>");
    EXPECT_EQ(l.tree.root()->child(0)->text(), "&x;&x;");
}

TEST(LinkFile, BuiltInSetHasThreeFoldersAndSelectsTheVolcano) {
    Library l;
    l.lib.loadBuiltInLinks();
    EXPECT_EQ(l.tree.root()->text(), "Image Links");
    EXPECT_EQ(l.tree.root()->childCount(), 3);
    EXPECT_EQ(l.tree.nodeCount(), 11);
    ASSERT_NE(l.tree.selected(), nullptr);
    EXPECT_EQ(l.tree.selected()->text(), "Mt. Saint Hellens");
    EXPECT_EQ(l.tree.selected()->data().delay, 60);
    EXPECT_EQ(l.tree.selected()->data().url, kVolcanoCamAddress);
    EXPECT_FALSE(l.lib.modified());
    EXPECT_EQ(l.lib.modifiedText(), "");
    EXPECT_EQ(kBuiltInLinkSet.find("URLDelay"), std::string_view::npos);
    l.tree.forEachNode([](LinkNode* n) {
        if (n->kind() == LinkKind::Link) {
            EXPECT_EQ(n->data().url.rfind("http://", 0), 0u);
        }
        return false;
    });
}
