#include "core/links/LinkLibrary.h"

#include "core/links/BuiltInLinks.h"
#include "core/links/LinkFile.h"
#include "core/util/AtomicFile.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <filesystem>

namespace kestrix {

const char* const kLinkFileFilter = "Image Link Files|*.klnx|XML|*.xml|All Files|*.*";

std::string LinkLibrary::modifiedText() const {
    if (!modifiedShown_)
        return "";
    return modified_ ? "Yes" : "No";
}

void LinkLibrary::setLinksModified(bool modified) {
    modified_ = modified;
    modifiedShown_ = true;
    if (onModifiedChanged)
        onModifiedChanged();
}

void LinkLibrary::loadLinksFromStream(std::string_view bytes) {
    tree_.clear();
    LinkNode* root = tree_.addRootNode("Image Links");
    if (!readLinkStream(bytes, tree_, root))
        dialogs_.showMessage("Empty Link File", MessageIcon::Information);
}

void LinkLibrary::loadBuiltInLinks() {
    loadLinksFromStream(kBuiltInLinkSet);
}

void LinkLibrary::loadLinkFile(const std::string& path) {
    std::string bytes = readFileBytes(path);
    // The file is read into a tree of its own first: one that cannot be read leaves the links
    // shown, their file name and their modified flag as they were, so that the next "Save Links"
    // cannot overwrite the bad file with an empty tree.
    try {
        LinkTree trial;
        readLinkStream(bytes, trial, trial.addRootNode("Image Links"));
    } catch (const Error& e) {
        throw Error("Cannot load links from " + path + ":\n" + e.what(), e.kind());
    }
    currentFile_ = path;
    loadLinksFromStream(bytes);
    setLinksModified(false);
}

void LinkLibrary::insertLinkFile(LinkNode* folder, const std::string& path) {
    std::string bytes = readFileBytes(path);
    if (!readLinkStream(bytes, tree_, folder))
        dialogs_.showMessage("Empty Link File", MessageIcon::Information);
    setLinksModified(true);
}

void LinkLibrary::writeLinkTree(const LinkNode* first, const std::string& path) {
    writeFileAtomically(path, writeLinkTreeText(tree_, first));
    setLinksModified(false);
}

void LinkLibrary::saveLinkFile(const std::string& path) {
    // The new file is complete before the backups turn; a failed rotation leaves it unused.
    AtomicFile file;
    throwIfFailed(file.create(path), path);
    throwIfFailed(file.write(writeLinkTreeText(tree_, tree_.root())), path);
    // A link file reached through a symbolic link keeps its backups beside the file itself, which
    // is the one replaced; a device written straight through has none.
    std::string target;
    throwIfFailed(resolveSaveTarget(path, target), path);
    if (!file.direct())
        backupFile(target, ".bk", 5);
    throwIfFailed(file.commit(), path);
    setLinksModified(false);
}

bool LinkLibrary::askSaveLinks() {
    if (!modified_)
        return true;
    switch (dialogs_.askYesNoCancel("Save Changes To Link List?")) {
    case Answer::Cancel:
        return false;
    case Answer::No:
        return true;
    case Answer::Yes:
        return saveLinksCommand();
    }
    return false;
}

FileDialogOptions LinkLibrary::linkDialogOptions(const std::string& title, bool save) const {
    FileDialogOptions o;
    o.title = title;
    o.fileName = "*.klnx";
    o.filter = kLinkFileFilter;
    std::error_code ec;
    o.initialDir = std::filesystem::current_path(ec).string();
    o.overwritePrompt = save;
    return o;
}

void LinkLibrary::loadLinksCommand() {
    if (!askSaveLinks())
        return;
    auto path = dialogs_.openFile(linkDialogOptions("", false));
    if (!path)
        return;
    loadLinkFile(*path);
    if (tree_.selected() == tree_.root())
        tree_.selectFirstLink();
}

void LinkLibrary::insertLinksCommand() {
    auto path = dialogs_.openFile(linkDialogOptions("", false));
    if (!path)
        return;
    if (LinkNode* folder = tree_.findInsertFolder())
        insertLinkFile(folder, *path);
    if (tree_.selected() == tree_.root())
        tree_.selectFirstLink();
}

bool LinkLibrary::saveLinksCommand() {
    if (currentFile_.empty())
        return saveLinksAsCommand();
    saveLinkFile(currentFile_);
    return true;
}

bool LinkLibrary::saveLinksAsCommand() {
    auto path = dialogs_.saveFile(linkDialogOptions("Save Links", true));
    if (!path)
        return false;
    saveLinkFile(*path);
    return true;
}

void LinkLibrary::saveSelectedBranchCommand() {
    auto path = dialogs_.saveFile(linkDialogOptions("Save Branch", true));
    if (!path || !tree_.selected())
        return;
    writeLinkTree(tree_.selected(), *path);
}

} // namespace kestrix
