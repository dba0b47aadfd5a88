#include "core/net/UrlReference.h"

#include <cctype>

namespace kestrix {

namespace {

// The five parts of RFC 3986; a part that is absent is not the same as an empty one.
struct Reference {
    std::string_view scheme;
    bool hasAuthority = false;
    std::string_view authority;
    std::string_view path;
    bool hasQuery = false;
    std::string_view query;
};

// A scheme is a letter followed by letters, digits, "+", "-" or ".", ended by ":" before any
// "/", "?" or "#".
size_t schemeLength(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return 0;
    for (size_t i = 1; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == ':')
            return i;
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return 0;
}

Reference split(std::string_view text) {
    Reference r;
    text = text.substr(0, text.find('#'));
    if (const size_t length = schemeLength(text); length > 0) {
        r.scheme = text.substr(0, length);
        text.remove_prefix(length + 1);
    }
    if (text.substr(0, 2) == "//") {
        text.remove_prefix(2);
        const size_t end = text.find_first_of("/?");
        r.hasAuthority = true;
        r.authority = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    }
    const size_t question = text.find('?');
    r.path = text.substr(0, question);
    if (question != std::string_view::npos) {
        r.hasQuery = true;
        r.query = text.substr(question + 1);
    }
    return r;
}

std::string merge(const Reference& base, std::string_view path) {
    if (base.hasAuthority && base.path.empty())
        return "/" + std::string(path);
    const size_t slash = base.path.rfind('/');
    if (slash == std::string_view::npos)
        return std::string(path);
    return std::string(base.path.substr(0, slash + 1)) + std::string(path);
}

} // namespace

std::string removeDotSegments(std::string_view in) {
    std::string out;
    while (!in.empty()) {
        if (in.substr(0, 3) == "../") {
            in.remove_prefix(3);
        } else if (in.substr(0, 2) == "./" || in.substr(0, 3) == "/./") {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.substr(0, 4) == "/../" || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            const size_t slash = out.rfind('/');
            out.resize(slash == std::string::npos ? 0 : slash);
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const size_t next = in.find('/', 1);
            const size_t length = next == std::string_view::npos ? in.size() : next;
            out.append(in.substr(0, length));
            in.remove_prefix(length);
        }
    }
    return out;
}

std::string resolveReference(std::string_view baseText, std::string_view referenceText) {
    const Reference ref = split(referenceText);
    if (!ref.scheme.empty())
        return std::string(referenceText.substr(0, referenceText.find('#')));
    const Reference base = split(baseText);
    std::string authority(base.authority);
    std::string path;
    std::string_view query = ref.query;
    bool hasQuery = ref.hasQuery;
    if (ref.hasAuthority) {
        authority = ref.authority;
        path = removeDotSegments(ref.path);
    } else if (ref.path.empty()) {
        path = base.path;
        if (!hasQuery) {
            hasQuery = base.hasQuery;
            query = base.query;
        }
    } else if (ref.path.front() == '/') {
        path = removeDotSegments(ref.path);
    } else {
        path = removeDotSegments(merge(base, ref.path));
    }
    std::string out = std::string(base.scheme) + "://" + authority + path;
    if (hasQuery)
        out += "?" + std::string(query);
    return out;
}

} // namespace kestrix
