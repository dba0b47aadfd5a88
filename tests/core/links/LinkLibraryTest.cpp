#include "core/links/LinkLibrary.h"

#include "core/links/LinkFile.h"
#include "core/links/StartLinks.h"
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

struct LinkLibraryTest : ::testing::Test {
    TempDir dir;
    ScriptedDialogs dialogs;
    LinkLibrary lib{dialogs};
    LinkTree& tree = lib.tree();

    // Root > F1 > l1, F2 > l2, F3 > l3
    void threeFolders() {
        tree.clear();
        LinkNode* root = tree.addRootNode("Image Links");
        for (int i = 1; i <= 3; ++i) {
            LinkNode* f = tree.addFolderNode(root, "F" + std::to_string(i));
            tree.addLinkNode(f, "l" + std::to_string(i), "http://h/" + std::to_string(i), i, true);
        }
    }
    std::string names(const std::string& path) {
        LinkTree other;
        LinkNode* root = other.addRootNode("R");
        readLinkStream(readFile(path), other, root);
        std::string out;
        other.forEachNode([&](LinkNode* n) { return out += n->text() + " ", false; });
        return out;
    }
};

} // namespace

TEST_F(LinkLibraryTest, SixSavesKeepFiveBackups) {
    threeFolders();
    const std::string path = dir.file("links.klnx");
    for (int i = 1; i <= 6; ++i) {
        tree.setText(tree.root()->child(0), "save" + std::to_string(i));
        lib.saveLinkFile(path);
    }
    EXPECT_EQ(names(path), "R save6 l1 F2 l2 F3 l3 ");
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(names(dir.file("links.bk" + std::to_string(n))),
                  "R save" + std::to_string(6 - n) + " l1 F2 l2 F3 l3 ");
    EXPECT_FALSE(fs::exists(dir.file("links.bk6")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 6);
    EXPECT_EQ(lib.modifiedText(), "No");
}

TEST_F(LinkLibraryTest, SaveSelectedBranchWritesTheNodeAndLaterSiblings) {
    threeFolders();
    tree.select(tree.root()->child(1));
    lib.setLinksModified(true);
    dialogs.files.emplace_back(dir.file("branch.klnx"));
    lib.saveSelectedBranchCommand();
    EXPECT_EQ(dialogs.fileDialogs.at(0).title, "Save Branch");
    EXPECT_EQ(names(dir.file("branch.klnx")), "R F2 l2 F3 l3 ");
    std::string text = readFile(dir.file("branch.klnx"));
    EXPECT_EQ(text.find("Selected=\"yes\""), std::string::npos);
    EXPECT_FALSE(lib.modified());
    EXPECT_FALSE(fs::exists(dir.file("branch.bk1")));
}

TEST_F(LinkLibraryTest, FailedSavesLoseNothing) {
    threeFolders();
    const std::string path = dir.file("links.klnx");
    lib.saveLinkFile(path);
    tree.setText(tree.root()->child(0), "second");
    lib.saveLinkFile(path);
    const std::string before = readFile(path), backup = readFile(dir.file("links.bk1"));
    tree.setText(tree.root()->child(0), "third");
    lib.setLinksModified(true);
    auto unchanged = [&] {
        return readFile(path) == before && readFile(dir.file("links.bk1")) == backup &&
               !fs::exists(dir.file("links.bk2")) &&
               std::distance(fs::directory_iterator(dir.path()), {}) == 2;
    };
    // The disk fills up while the new file is written.
    EXPECT_TRUE(inChild([&] {
        limitFileSize(64);
        try {
            lib.saveLinkFile(path);
            return false;
        } catch (const Error& e) {
            return lib.modified() && std::string(e.what()).rfind("Cannot create file", 0) == 0;
        }
    }));
    EXPECT_TRUE(unchanged());
    // The folder cannot be written.
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(path, fs::perms::others_read, fs::perm_options::add);
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_TRUE(inChild([&] {
        dropPrivileges();
        try {
            lib.saveLinkFile(path);
            return false;
        } catch (const Error&) {
            return lib.modified();
        }
    }));
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(unchanged());
}

TEST_F(LinkLibraryTest, AskSaveLinksPaths) {
    threeFolders();
    EXPECT_TRUE(lib.askSaveLinks()); // not modified: no question
    EXPECT_TRUE(dialogs.asked.empty());

    lib.setLinksModified(true);
    dialogs.answers = {Answer::Cancel};
    EXPECT_FALSE(lib.askSaveLinks());
    dialogs.answers = {Answer::No};
    EXPECT_TRUE(lib.askSaveLinks());
    // Yes without a current file opens Save Links As; cancelling it stops.
    dialogs.answers = {Answer::Yes};
    dialogs.files = {std::nullopt};
    EXPECT_FALSE(lib.askSaveLinks());
    EXPECT_EQ(dialogs.fileDialogs.back().title, "Save Links");
    dialogs.answers = {Answer::Yes};
    dialogs.files = {dir.file("saved.klnx")};
    EXPECT_TRUE(lib.askSaveLinks());
    EXPECT_TRUE(fs::exists(dir.file("saved.klnx")));
    EXPECT_FALSE(lib.modified());
    EXPECT_EQ(dialogs.asked, std::vector<std::string>(4, "Save Changes To Link List?"));
    // Save Links As does not change the current link file.
    EXPECT_EQ(lib.currentFile(), "");
}

TEST_F(LinkLibraryTest, LoadInsertAndSaveCommands) {
    threeFolders();
    lib.saveLinkFile(dir.file("a.klnx"));
    tree.select(tree.root()->child(0));
    lib.saveLinkFile(dir.file("folder-selected.klnx")); // every link "no"

    dialogs.files = {dir.file("folder-selected.klnx")};
    lib.loadLinksCommand();
    EXPECT_EQ(lib.currentFile(), dir.file("folder-selected.klnx"));
    EXPECT_EQ(tree.selected()->text(), "l1"); // root was selected: first link
    EXPECT_EQ(dialogs.fileDialogs.back().fileName, "*.klnx");
    EXPECT_EQ(dialogs.fileDialogs.back().filter, "Image Link Files|*.klnx|XML|*.xml|All Files|*.*");

    // Insert with a link deep in a folder selected: at the end of that link's folder.
    tree.select(tree.root()->child(1)->child(0));
    dialogs.files = {dir.file("a.klnx")};
    lib.insertLinksCommand();
    EXPECT_EQ(tree.root()->child(1)->childCount(), 4);
    EXPECT_EQ(tree.root()->child(1)->child(1)->text(), "F1");
    EXPECT_TRUE(lib.modified());
    EXPECT_EQ(lib.currentFile(), dir.file("folder-selected.klnx"));

    // Save Links writes to the file last loaded.
    lib.saveLinksCommand();
    EXPECT_EQ(names(dir.file("folder-selected.klnx")), "R F1 l1 F2 l2 F1 l1 F2 l2 F3 l3 F3 l3 ");
    EXPECT_TRUE(fs::exists(dir.file("folder-selected.bk1")));

    // A file that cannot be opened changes nothing.
    dialogs.files = {dir.file("missing.klnx")};
    EXPECT_THROW(lib.loadLinksCommand(), Error);
    EXPECT_EQ(lib.currentFile(), dir.file("folder-selected.klnx"));
    EXPECT_EQ(tree.nodeCount(), 13);

    // Nor does one that is not a link file: the error names it, and the next Save Links still
    // writes the tree to the file it came from.
    writeFile(dir.file("notes.txt"), "shopping list\n");
    dialogs.files = {dir.file("notes.txt")};
    try {
        lib.loadLinksCommand();
        ADD_FAILURE() << "a text file loaded as links";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "Cannot load links from " + dir.file("notes.txt") + ":\n", 0),
                  0u)
            << e.what();
    }
    EXPECT_EQ(lib.currentFile(), dir.file("folder-selected.klnx"));
    EXPECT_EQ(tree.nodeCount(), 13);
    EXPECT_FALSE(lib.modified());
    EXPECT_EQ(readFile(dir.file("notes.txt")), "shopping list\n");
}

TEST_F(LinkLibraryTest, StartLinks) {
    AppSettings settings;
    settings.defaultFile = "default.klnx";
    // No default file: the built-in set, nothing written, SelectedInx ignored.
    settings.selectedInx = 2;
    loadStartLinks(lib, settings, dir.path());
    EXPECT_EQ(tree.selected()->text(), "Mt. Saint Hellens");
    EXPECT_EQ(lib.currentFile(), "");
    EXPECT_EQ(lib.modifiedText(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 0);

    threeFolders();
    tree.select(tree.root()->child(2)->child(0));
    lib.saveLinkFile(dir.file("default.klnx"));
    struct Case {
        int selectedInx;
        const char* selected;
    } cases[] = {{0, "l3"}, {-4, "l3"}, {7, "l3"}, {100, "l3"}, {3, "F2"}, {6, "l3"}, {1, "F1"}};
    for (const auto& c : cases) {
        settings.selectedInx = c.selectedInx;
        loadStartLinks(lib, settings, dir.path());
        EXPECT_EQ(tree.selected()->text(), c.selected) << c.selectedInx;
    }
    EXPECT_EQ(lib.currentFile(), dir.file("default.klnx"));
    // A path with its own folder is used as it is.
    settings.defaultFile = dir.file("default.klnx");
    EXPECT_EQ(defaultLinkFilePath(settings.defaultFile, "/elsewhere"), dir.file("default.klnx"));
    EXPECT_EQ(defaultLinkFilePath("my.klnx", "/prog"), "/prog/my.klnx");
}

TEST(LinksCli, PrintsTheTreeAsLoaded) {
    TempDir dir;
    writeFile(dir.file("in.klnx"),
              "<ImageAddressXML KSX=\"1.0\"><FolderItem FolderName=\"Weather\">"
              "<URLItem URLName=\"Denver\" URLAddress=\"http://r/d.gif\" URLDelay=\"300\" "
              "Selected=\"yes\"/></FolderItem><URLItem URLName=\"Top\"/></ImageAddressXML>");
    CommandResult r = runCommand(std::string(KESTRIX_CLI) + " links print " + dir.file("in.klnx"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Image Links\n"
                     "  [F] Weather\n"
                     "    [L] Denver | http://r/d.gif | 300 *\n"
                     "  [L] Top | URL | 60\n");
    r = runCommand(std::string(KESTRIX_CLI) + " links save " + dir.file("in.klnx") + " " +
                   dir.file("out.klnx"));
    EXPECT_EQ(r.status, 0);
    r = runCommand(std::string(KESTRIX_CLI) + " links save " + dir.file("out.klnx") + " " +
                   dir.file("out.klnx"));
    EXPECT_TRUE(fs::exists(dir.file("out.bk1")));
    EXPECT_NE(readFile(dir.file("out.klnx")).find("URLDelay=\"60\""), std::string::npos);
    r = runCommand(std::string(KESTRIX_CLI) + " links print " + dir.file("nope.klnx") + " 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Cannot open file"), std::string::npos);
}
