#include "links/StartLinks.h"

#include "util/FileIO.h"

namespace kestrix {

std::string defaultLinkFilePath(const std::string& defaultFile, const std::string& programDir) {
    if (defaultFile.find('/') != std::string::npos)
        return defaultFile;
    return programDir + "/" + defaultFile;
}

void LoadStartLinks(LinkLibrary& library, const AppSettings& settings,
                    const std::string& programDir) {
    LinkTree& tree = library.tree();
    const std::string path = defaultLinkFilePath(settings.DefaultFile, programDir);
    if (fileExists(path)) {
        library.LoadLinkFile(path);
        if (settings.SelectedInx > 0 && settings.SelectedInx < tree.nodeCount())
            tree.select(tree.nodeAt(settings.SelectedInx));
    } else {
        library.LoadBuiltInLinks();
    }
    if (tree.selected() == tree.root())
        tree.SelectFirstLink();
}

} // namespace kestrix
