#include "links/LinkLibrary.h"

#include "links/BuiltInLinks.h"
#include "links/LinkFile.h"
#include "util/FileIO.h"

#include <filesystem>

namespace kestrix {

const char* const kLinkFileFilter = "Image Link Files|*.klnx|XML|*.xml|All Files|*.*";

std::string LinkLibrary::modifiedText() const {
    if (!modifiedShown_)
        return "";
    return modified_ ? "Yes" : "No";
}

void LinkLibrary::SetLinksModified(bool modified) {
    modified_ = modified;
    modifiedShown_ = true;
    if (onModifiedChanged)
        onModifiedChanged();
}

void LinkLibrary::LoadLinksFromStream(std::string_view bytes) {
    tree_.clear();
    LinkNode* root = tree_.AddRootNode("Image Links");
    if (!ReadLinkStream(bytes, tree_, root))
        dialogs_.showMessage("Empty Link File", MessageIcon::Information);
}

void LinkLibrary::LoadBuiltInLinks() { LoadLinksFromStream(kBuiltInLinkSet); }

void LinkLibrary::LoadLinkFile(const std::string& path) {
    std::string bytes = readFileBytes(path);
    currentFile_ = path;
    LoadLinksFromStream(bytes);
    SetLinksModified(false);
}

void LinkLibrary::InsertLinkFile(LinkNode* folder, const std::string& path) {
    std::string bytes = readFileBytes(path);
    if (!ReadLinkStream(bytes, tree_, folder))
        dialogs_.showMessage("Empty Link File", MessageIcon::Information);
    SetLinksModified(true);
}

void LinkLibrary::WriteLinkTree(const LinkNode* first, const std::string& path) {
    writeFileAtomically(path, WriteLinkTreeText(tree_, first));
    SetLinksModified(false);
}

void LinkLibrary::SaveLinkFile(const std::string& path) {
    const std::string temporary = writeTemporaryBeside(path, WriteLinkTreeText(tree_, tree_.root()));
    try {
        BackupFile(path, ".bk", 5);
    } catch (...) {
        std::filesystem::remove(temporary);
        throw;
    }
    commitTemporary(temporary, path);
    SetLinksModified(false);
}

bool LinkLibrary::AskSaveLinks() {
    if (!modified_)
        return true;
    switch (dialogs_.askYesNoCancel("Save Changes To Link List?")) {
    case Answer::Cancel: return false;
    case Answer::No: return true;
    case Answer::Yes: return saveLinksCommand();
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
    if (!AskSaveLinks())
        return;
    auto path = dialogs_.openFile(linkDialogOptions("", false));
    if (!path)
        return;
    LoadLinkFile(*path);
    if (tree_.selected() == tree_.root())
        tree_.SelectFirstLink();
}

void LinkLibrary::insertLinksCommand() {
    auto path = dialogs_.openFile(linkDialogOptions("", false));
    if (!path)
        return;
    if (LinkNode* folder = tree_.FindInsertFolder())
        InsertLinkFile(folder, *path);
    if (tree_.selected() == tree_.root())
        tree_.SelectFirstLink();
}

bool LinkLibrary::saveLinksCommand() {
    if (currentFile_.empty())
        return saveLinksAsCommand();
    SaveLinkFile(currentFile_);
    return true;
}

bool LinkLibrary::saveLinksAsCommand() {
    auto path = dialogs_.saveFile(linkDialogOptions("Save Links", true));
    if (!path)
        return false;
    SaveLinkFile(*path);
    return true;
}

void LinkLibrary::saveSelectedBranchCommand() {
    auto path = dialogs_.saveFile(linkDialogOptions("Save Branch", true));
    if (!path || !tree_.selected())
        return;
    WriteLinkTree(tree_.selected(), *path);
}

} // namespace kestrix
