#include "core/links/LinkFile.h"

#include "core/util/AtomicFile.h"
#include "core/util/Error.h"
#include "core/util/Text.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <pugixml.hpp>
#include <unistd.h>

namespace kestrix {

namespace {

std::string_view localName(const pugi::xml_node& node) {
    std::string_view name = node.name();
    size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string attributeOr(const pugi::xml_node& node, const char* name, const char* fallback) {
    pugi::xml_attribute a = node.attribute(name);
    return a ? a.value() : fallback;
}

void readLinkElements(pugi::xml_node first, LinkTree& tree, LinkNode* parent, int depth) {
    if (depth > kMaxLinkFileDepth)
        throw Error("Link file is nested too deeply");
    for (pugi::xml_node n = first; n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element)
            continue;
        std::string_view name = localName(n);
        if (name == "FolderItem") {
            LinkNode* folder = tree.addFolderNode(parent, attributeOr(n, "FolderName", "Folder"));
            if (n.first_child())
                readLinkElements(n.first_child(), tree, folder, depth + 1);
        } else if (name == "URLItem") {
            int32_t delay = strToInt(attributeOr(n, "URLDelay", "60"));
            LinkNode* link = tree.addLinkNode(parent, attributeOr(n, "URLName", "URL"),
                                              attributeOr(n, "URLAddress", "URL"), delay, true);
            if (attributeOr(n, "Selected", "no") == "yes")
                tree.select(link);
        }
    }
}

[[noreturn]] void throwParseError(std::string_view bytes, const pugi::xml_parse_result& result) {
    size_t offset =
        std::min(static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0)), bytes.size());
    size_t line = 1;
    for (size_t i = 0; i < offset; ++i)
        if (bytes[i] == '\n')
            ++line;
    size_t begin = bytes.rfind('\n', offset == 0 ? 0 : offset - 1);
    begin = (begin == std::string_view::npos || offset == 0) ? 0 : begin + 1;
    size_t end = bytes.find('\n', begin);
    std::string_view text = bytes.substr(begin, end == std::string_view::npos ? end : end - begin);
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    throw Error(std::string(result.description()) + "\nLine: " + std::to_string(line) + "\n" +
                utf8Left(text, 40));
}

std::string escapeAttribute(std::string_view value) {
    std::string out;
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '\t':
            out += "&#9;";
            break;
        default:
            // Other control characters cannot stand in an XML 1.0 document.
            if (static_cast<unsigned char>(c) >= 0x20)
                out += c;
        }
    }
    return out;
}

void writeNode(const LinkTree& tree, const LinkNode* node, int level, std::string& out) {
    const std::string indent(static_cast<size_t>(level) * 2, ' ');
    int childLevel = level;
    std::string closing;
    if (node->kind() == LinkKind::Folder) {
        out += indent + "<FolderItem FolderName=\"" + escapeAttribute(node->text()) + "\"";
        if (!node->hasChildren()) {
            out += "/>\r\n";
            return;
        }
        out += ">\r\n";
        closing = indent + "</FolderItem>\r\n";
        childLevel = level + 1;
    } else if (node->kind() == LinkKind::Link) {
        out += indent + "<URLItem URLName=\"" + escapeAttribute(node->text()) + "\" URLAddress=\"" +
               escapeAttribute(node->data().url) + "\" URLDelay=\"" +
               std::to_string(node->data().delay) + "\" Selected=\"" +
               (tree.selected() == node ? "yes" : "no") + "\"/>\r\n";
        return;
    }
    for (int i = 0; i < node->childCount(); ++i)
        writeNode(tree, node->child(i), childLevel, out);
    out += closing;
}

} // namespace

bool readLinkStream(std::string_view bytes, LinkTree& tree, LinkNode* parent) {
    std::string_view content = bytes;
    if (content.substr(0, 3) == "\xEF\xBB\xBF")
        content.remove_prefix(3);
    if (trimView(content).empty())
        return false;
    pugi::xml_document doc;
    pugi::xml_parse_result result =
        doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result)
        throwParseError(bytes, result);
    pugi::xml_node top = doc.document_element();
    if (top.first_child())
        readLinkElements(top.first_child(), tree, parent, 1);
    return true;
}

std::string writeLinkTreeText(const LinkTree& tree, const LinkNode* first) {
    std::string body;
    for (const LinkNode* n = first; n; n = tree.nextSibling(n))
        writeNode(tree, n, 1, body);
    if (body.empty())
        return "<ImageAddressXML KSX=\"1.0\"/>\r\n";
    return "<ImageAddressXML KSX=\"1.0\">\r\n" + body + "</ImageAddressXML>\r\n";
}

std::string changeFileExt(const std::string& path, const std::string& extension) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

namespace {

// Moves `from` to `to`, deleting an old `to` first; a missing `from` is no error.
void moveFile(const std::string& from, const std::string& to) {
    if (!std::filesystem::exists(from))
        return;
    announceFileStep();
    if (std::filesystem::exists(to) && ::unlink(to.c_str()) != 0)
        throw Error("Cannot Delete Old Backup File");
    announceFileStep();
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throw Error("Cannot Rename File");
}

} // namespace

void backupFile(const std::string& path, std::string extension, int generations) {
    if (extension.empty() || extension[0] != '.')
        extension = "." + extension;
    auto name = [&](int n) { return changeFileExt(path, extension + std::to_string(n)); };
    for (int n = generations; n >= 2; --n)
        moveFile(name(n - 1), name(n));
    if (!std::filesystem::exists(path))
        return;
    const std::string newest = name(1);
    announceFileStep();
    if (std::filesystem::exists(newest) && ::unlink(newest.c_str()) != 0)
        throw Error("Cannot Delete Old Backup File");
    announceFileStep();
    // A hard link keeps the file in place while it becomes the newest backup; where links are
    // not possible, a copy does the same.
    if (::link(path.c_str(), newest.c_str()) != 0) {
        std::error_code ec;
        std::filesystem::copy_file(path, newest, ec);
        if (ec)
            throw Error("Cannot Rename File");
    }
}

} // namespace kestrix
