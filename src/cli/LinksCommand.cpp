// kestrix-cli links: print a link file's tree, or save it again as the program would.
#include "cli/CliCommand.h"
#include "core/links/LinkLibrary.h"

#include <iostream>

namespace kestrix::cli {

namespace {

void printNode(const LinkTree& tree, const LinkNode* node, int level) {
    std::string line(static_cast<size_t>(level) * 2, ' ');
    switch (node->kind()) {
    case LinkKind::Root:
        line += node->text();
        break;
    case LinkKind::Folder:
        line += "[F] " + node->text();
        break;
    case LinkKind::Link:
        line += "[L] " + node->text() + " | " + node->data().url + " | " +
                std::to_string(node->data().delay);
        break;
    }
    if (tree.selected() == node)
        line += " *";
    std::cout << line << "\n";
    for (int i = 0; i < node->childCount(); ++i)
        printNode(tree, node->child(i), level + 1);
}

} // namespace

namespace {

int runLinks(const Args& args) {
    const Command& self = findCommand("links");
    ConsoleDialogs dialogs;
    LinkLibrary library(dialogs);
    if (args.size() == 2 && args[0] == "print") {
        library.loadLinkFile(args[1]);
        for (int i = 0; i < library.tree().topLevelCount(); ++i)
            printNode(library.tree(), library.tree().topLevel(i), 0);
        return 0;
    }
    if (args.size() == 3 && args[0] == "save") {
        library.loadLinkFile(args[1]);
        library.saveLinkFile(args[2]);
        return 0;
    }
    usageError(self);
}

const Registration kRegistration({"links", "links print FILE | links save IN OUT", runLinks});

} // namespace

} // namespace kestrix::cli
