// kestrix-cli links: print a link file's tree, or save it again as the program would.
#include "cli/CliCommand.h"
#include "core/links/LinkLibrary.h"

#include <iostream>
#include <memory>

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

void defineLinks(CLI::App& command) {
    command.description("Prints a link file's tree or saves the file again as the window does.");
    command.require_subcommand(1);
    auto files = std::make_shared<std::vector<std::string>>(2);

    CLI::App* print = command.add_subcommand(
        "print", "Prints the tree: [F] folders, [L] links with address and interval, * the "
                 "selected one");
    print->add_option("FILE", (*files)[0], "Link file to read")->required();
    addExample(*print, "kestrix-cli links print cameras.klnx");
    onRun(*print, [files] {
        ConsoleDialogs dialogs;
        LinkLibrary library(dialogs);
        library.loadLinkFile((*files)[0]);
        for (int i = 0; i < library.tree().topLevelCount(); ++i)
            printNode(library.tree(), library.tree().topLevel(i), 0);
        return 0;
    });

    CLI::App* save = command.add_subcommand("save", "Reads IN and writes it again as OUT");
    save->add_option("IN", (*files)[0], "Link file to read")->required();
    save->add_option("OUT", (*files)[1], "Link file to write")->required();
    addExample(*save, "kestrix-cli links save old.klnx tidy.klnx");
    onRun(*save, [files] {
        ConsoleDialogs dialogs;
        LinkLibrary library(dialogs);
        library.loadLinkFile((*files)[0]);
        library.saveLinkFile((*files)[1]);
        return 0;
    });
    addExample(command, "kestrix-cli links print cameras.klnx");
}

const Registration kLinksRegistration({"links", defineLinks});

} // namespace

} // namespace kestrix::cli
