#include "core/watch/WatchList.h"

#include "core/links/LinkTree.h"

#include <set>

namespace kestrix {

namespace {

constexpr size_t kMaxNameBytes = 100;

void collect(const LinkNode* node, std::vector<std::string>& folders,
             std::vector<WatchedLink>& out) {
    for (int i = 0; i < node->childCount(); ++i) {
        const LinkNode* child = node->child(i);
        if (child->kind() == LinkKind::Folder) {
            folders.push_back(child->text());
            collect(child, folders, out);
            folders.pop_back();
        } else if (child->kind() == LinkKind::Link) {
            WatchedLink link;
            link.folders = folders;
            link.name = child->text();
            link.address = child->data().url;
            link.interval = child->data().delay;
            out.push_back(std::move(link));
        }
    }
}

} // namespace

std::string safeFileName(const std::string& name) {
    std::string safe;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        safe += (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) ? '_' : c;
    }
    if (!safe.empty() && safe[0] == '.')
        safe[0] = '_';
    if (safe.size() > kMaxNameBytes) {
        size_t end = kMaxNameBytes;
        // Back off continuation bytes so that no character is cut in two.
        while (end > 0 && (static_cast<unsigned char>(safe[end]) & 0xC0) == 0x80)
            --end;
        safe.resize(end);
    }
    return safe.empty() ? "_" : safe;
}

std::vector<WatchedLink> watchedLinks(const LinkTree& tree) {
    std::vector<WatchedLink> links;
    if (const LinkNode* root = tree.root()) {
        std::vector<std::string> folders;
        collect(root, folders, links);
    }
    std::set<std::string> taken;
    for (WatchedLink& link : links) {
        std::string folder;
        for (const std::string& f : link.folders) {
            link.path += f + "/";
            folder += safeFileName(f) + "/";
        }
        link.path += link.name;
        const std::string leaf = safeFileName(link.name);
        link.directory = folder + leaf;
        for (int n = 2; !taken.insert(link.directory).second; ++n)
            link.directory = folder + leaf + "-" + std::to_string(n);
    }
    return links;
}

uint32_t shardOf(const WatchedLink& link, uint32_t count) {
    uint64_t hash = 14695981039346656037u;
    const auto add = [&hash](const std::string& text) {
        for (const char c : text) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211u;
        }
        // A separator no name can hold keeps "ab"/"c" apart from "a"/"bc".
        hash ^= 0xFF;
        hash *= 1099511628211u;
    };
    for (const std::string& folder : link.folders)
        add(folder);
    add(link.name);
    return count == 0 ? 0 : static_cast<uint32_t>(hash % count);
}

} // namespace kestrix
