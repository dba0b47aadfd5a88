#include "core/links/StartLinks.h"

#include "core/util/FileIO.h"

namespace kestrix {

std::string defaultLinkFilePath(const std::string& defaultFile, const std::string& programDir) {
    if (defaultFile.find('/') != std::string::npos)
        return defaultFile;
    return programDir + "/" + defaultFile;
}

void loadStartLinks(LinkLibrary& library, const AppSettings& settings,
                    const std::string& programDir) {
    LinkTree& tree = library.tree();
    const std::string path = defaultLinkFilePath(settings.defaultFile, programDir);
    if (fileExists(path)) {
        library.loadLinkFile(path);
        if (settings.selectedInx > 0 && settings.selectedInx < tree.nodeCount())
            tree.select(tree.nodeAt(settings.selectedInx));
    } else {
        library.loadBuiltInLinks();
    }
    if (tree.selected() == tree.root())
        tree.selectFirstLink();
}

} // namespace kestrix
