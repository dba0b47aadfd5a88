// The link file: an XML document with ImageAddressXML at the top and FolderItem and URLItem
// elements below it, and the rotating backups kept when a file is overwritten.
#pragma once

#include "core/links/LinkTree.h"

#include <string>
#include <string_view>

namespace kestrix {

// Deepest folder nesting a link file may have; deeper files are refused, not read.
constexpr int kMaxLinkFileDepth = 256;

// Reads the document's items under `parent`. Returns false, reading nothing, when the document
// holds nothing at all (the caller tells the user "Empty Link File"). A document that is not
// well-formed raises the parser's reason, "Line: N" and the first 40 characters of that line.
bool readLinkStream(std::string_view bytes, LinkTree& tree, LinkNode* parent);

// The file text for `first` and each later sibling of it, each with its whole subtree.
std::string writeLinkTreeText(const LinkTree& tree, const LinkNode* first);

// The path with its extension replaced ("links.klnx", ".bk1" -> "links.bk1").
std::string changeFileExt(const std::string& path, const std::string& extension);

// Rotates PATH.bk1 .. PATH.bk4 one generation up (the oldest is dropped) and makes PATH.bk1 a
// copy of the file at `path`, which stays in place. Raises "Cannot Delete Old Backup File" or
// "Cannot Rename File".
void backupFile(const std::string& path, std::string extension, int generations);

} // namespace kestrix
