#include "core/watch/LinkStateFile.h"

#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/watch/PictureArchive.h"

#include <dirent.h>
#include <filesystem>
#include <sstream>

namespace kestrix {

namespace {

constexpr const char* kStateHeader = "kestrix-state 1";

std::string hex64(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::optional<uint64_t> parseHex64(const std::string& text) {
    if (text.size() != 16 || text.find_first_not_of("0123456789abcdef") != std::string::npos)
        return std::nullopt;
    return std::stoull(text, nullptr, 16);
}

// Archive names sort by their second, then by the -N of pictures of the same second.
std::pair<std::string, int> archiveOrder(const std::string& name) {
    const std::string stamp = name.substr(0, 15);
    const size_t dot = name.rfind('.');
    const int n = dot > 16 && name[15] == '-' ? std::atoi(name.c_str() + 16) : 1;
    return {stamp, n};
}

} // namespace

std::string linkStateFile(const std::string& saveDir) {
    return saveDir + "/.kestrix/state";
}

LinkState readLinkState(const std::string& saveDir) {
    LinkState state;
    std::string text;
    try {
        text = readFileBytes(linkStateFile(saveDir));
    } catch (const Error&) {
        return state;
    }
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kStateHeader)
        return state;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string directory, file, a, b;
        if (!std::getline(fields, directory, '\t') || !std::getline(fields, file, '\t') ||
            !std::getline(fields, a, '\t') || !std::getline(fields, b, '\t'))
            continue;
        const auto digestA = parseHex64(a), digestB = parseHex64(b);
        if (!digestA || !digestB || !isArchivePictureName(file))
            continue;
        state[directory] = {file, {*digestA, *digestB}};
    }
    return state;
}

void writeLinkState(const std::string& saveDir, const LinkState& state) {
    std::string text = std::string(kStateHeader) + "\n";
    for (const auto& [directory, picture] : state)
        text += directory + "\t" + picture.file + "\t" + hex64(picture.digest.a) + "\t" +
                hex64(picture.digest.b) + "\n";
    std::filesystem::create_directories(saveDir + "/.kestrix");
    writeFileAtomically(linkStateFile(saveDir), text);
}

std::optional<std::string> newestArchivePicture(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return std::nullopt;
    std::optional<std::string> newest;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (isArchivePictureName(name) && (!newest || archiveOrder(*newest) < archiveOrder(name)))
            newest = name;
    }
    ::closedir(dir);
    return newest;
}

std::optional<SavedPicture> recoverLastPicture(const std::string& saveDir,
                                               const std::string& directory,
                                               const std::optional<SavedPicture>& saved) {
    const std::string folder = saveDir + "/" + directory;
    const std::optional<std::string> newest = newestArchivePicture(folder);
    if (!newest)
        return std::nullopt;
    if (saved && saved->file == *newest)
        return saved;
    try {
        const std::string path = folder + "/" + *newest;
        return SavedPicture{*newest, originalDigest(readFileBytes(path), path)};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace kestrix
