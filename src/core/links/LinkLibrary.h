// The link library: the tree, the current link file and the modified flag, with the link-file
// commands of the File menu. Questions and file dialogs go through the Dialogs interface.
#pragma once

#include "core/links/LinkTree.h"
#include "core/ui/Dialogs.h"

#include <functional>
#include <string>
#include <string_view>

namespace kestrix {

extern const char* const kLinkFileFilter;

class LinkLibrary {
public:
    explicit LinkLibrary(Dialogs& dialogs) : dialogs_(dialogs) {}

    LinkTree& tree() { return tree_; }
    const LinkTree& tree() const { return tree_; }
    const std::string& currentFile() const { return currentFile_; }

    bool modified() const { return modified_; }
    // "Yes" or "No" once the flag was first set, empty before.
    std::string modifiedText() const;
    void setLinksModified(bool modified);
    // Called whenever setLinksModified runs.
    std::function<void()> onModifiedChanged;

    // Clears the tree, adds the root "Image Links" and reads the text under it. Changes neither
    // the modified flag nor the current link file.
    void loadLinksFromStream(std::string_view bytes);
    void loadBuiltInLinks();
    void loadLinkFile(const std::string& path);
    void insertLinkFile(LinkNode* folder, const std::string& path);
    // Writes `first` and its later siblings to `path` (crash-safe) and clears the modified flag.
    void writeLinkTree(const LinkNode* first, const std::string& path);
    // Writes the whole tree, keeping five rotating backups. Nothing is touched unless the new
    // file was written completely; a failure leaves the file, its backups and the flag as they
    // were.
    void saveLinkFile(const std::string& path);
    // Whether the caller may go on: asks "Save Changes To Link List?" when modified.
    bool askSaveLinks();

    // The File menu's link commands. The Save commands answer whether they saved.
    void loadLinksCommand();
    void insertLinksCommand();
    bool saveLinksCommand();
    bool saveLinksAsCommand();
    void saveSelectedBranchCommand();

private:
    FileDialogOptions linkDialogOptions(const std::string& title, bool save) const;

    Dialogs& dialogs_;
    LinkTree tree_;
    std::string currentFile_;
    bool modified_ = false;
    bool modifiedShown_ = false;
};

} // namespace kestrix
