// The link library a start shows: the default link file, or the built-in set when it is missing.
#pragma once

#include "core/links/LinkLibrary.h"
#include "core/settings/AppSettings.h"

#include <string>

namespace kestrix {

// The default link file's full name: a bare name is looked up in the program's folder.
std::string defaultLinkFilePath(const std::string& defaultFile, const std::string& programDir);

// Fills the tree at start. Errors of the default file (unreadable, not well-formed) propagate
// after the tree was cleared to its root.
void loadStartLinks(LinkLibrary& library, const AppSettings& settings,
                    const std::string& programDir);

} // namespace kestrix
