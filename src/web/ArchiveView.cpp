#include "web/ArchiveView.h"

#include "core/util/Text.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace kestrix::web {

namespace {

std::string joined(const std::vector<std::string>& parts, std::string_view last) {
    std::string path;
    for (const std::string& part : parts)
        path += part + "/";
    return path + std::string(last);
}

// "A/B/Name" as folders A, B and the name Name.
SiteLink linkOfPath(const std::string& path, std::string directory) {
    SiteLink link;
    size_t begin = 0;
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', begin)) {
        link.folders.push_back(path.substr(begin, slash - begin));
        begin = slash + 1;
    }
    link.name = path.substr(begin);
    link.directory = std::move(directory);
    return link;
}

// A folder of the archive as a link. Pictures in the save folder itself (a single address's
// watch) are a link named after the folder.
SiteLink folderLink(const std::string& saveDir, const std::string& folder) {
    if (!folder.empty())
        return linkOfPath(folder, folder);
    std::filesystem::path path(saveDir);
    if (!path.has_filename())
        path = path.parent_path(); // "archive/"
    const std::string name = path.filename().string();
    return {{}, name.empty() ? saveDir : name, ""};
}

std::string inFolder(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

LinkView viewOfLink(const SiteLink& link, const ArchiveIndex* index,
                    std::optional<LinkStatus> status) {
    LinkView view;
    view.link = link;
    view.path = joined(link.folders, link.name);
    if (status)
        view.latest = status->latest;
    view.status = std::move(status);
    if (index) {
        ArchiveIndex::FolderSummary summary = index->summary(link.directory);
        view.pictures = summary.pictures;
        // The index knows what retention has deleted since the watch's last new picture.
        if (!summary.newest.empty())
            view.latest = inFolder(link.directory, summary.newest);
        else if (index->ready())
            view.latest.clear();
    }
    return view;
}

} // namespace

std::vector<SiteLink> siteLinks(const std::vector<WatchedLink>& links) {
    std::vector<SiteLink> shown;
    shown.reserve(links.size());
    for (const WatchedLink& link : links)
        shown.push_back({link.folders, link.name, link.directory});
    return shown;
}

ArchiveView viewOf(const SiteSources& sources) {
    ArchiveView view;
    if (sources.live)
        view.live = sources.live();
    std::vector<LinkStatus> statuses;
    if (view.live)
        statuses.swap(view.live->links);
    std::vector<SiteLink> links = sources.links;
    // A watch that did not say where its links keep their pictures shows only what its state
    // tells.
    const bool stateOnly = links.empty() && view.live;
    if (stateOnly) {
        for (const LinkStatus& status : statuses)
            links.push_back(linkOfPath(status.link, ""));
    } else if (links.empty() && sources.index) {
        for (const std::string& folder : sources.index->folders())
            links.push_back(folderLink(sources.saveDir, folder));
    }
    if (sources.index) {
        view.indexed = true;
        view.ready = sources.index->ready();
        view.files = sources.index->fileCount();
        view.bytes = sources.index->totalBytes();
    }
    view.links.reserve(links.size());
    for (size_t i = 0; i < links.size(); ++i) {
        std::optional<LinkStatus> status;
        if (i < statuses.size())
            status = std::move(statuses[i]);
        view.links.push_back(
            viewOfLink(links[i], stateOnly ? nullptr : sources.index, std::move(status)));
    }
    return view;
}

std::optional<LinkView> findLink(const SiteSources& sources, const std::string& directory) {
    if (!sources.index)
        return std::nullopt;
    if (!sources.links.empty()) {
        const auto found =
            std::find_if(sources.links.begin(), sources.links.end(),
                         [&](const SiteLink& link) { return link.directory == directory; });
        if (found == sources.links.end())
            return std::nullopt;
        std::optional<LinkStatus> status;
        if (sources.live) {
            WatchSnapshot snapshot = sources.live();
            const auto index = static_cast<size_t>(found - sources.links.begin());
            if (index < snapshot.links.size())
                status = std::move(snapshot.links[index]);
        }
        return viewOfLink(*found, sources.index, std::move(status));
    }
    if (sources.index->summary(directory).pictures == 0)
        return std::nullopt;
    return viewOfLink(folderLink(sources.saveDir, directory), sources.index, std::nullopt);
}

std::optional<uint32_t> parseDay(std::string_view text) {
    if (text.size() != 8 || !allDigits(text))
        return std::nullopt;
    return static_cast<uint32_t>(std::stoul(std::string(text)));
}

std::optional<int> parseTimeOfDay(std::string_view text) {
    if ((text.size() != 5 && text.size() != 8) || text[2] != ':' ||
        (text.size() == 8 && text[5] != ':'))
        return std::nullopt;
    int parts[3] = {0, 0, 0};
    for (size_t i = 0; i * 3 < text.size(); ++i) {
        const std::string_view digits = text.substr(i * 3, 2);
        if (!allDigits(digits))
            return std::nullopt;
        parts[i] = (digits[0] - '0') * 10 + (digits[1] - '0');
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return std::nullopt;
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

std::string pictureTimeText(std::string_view name) {
    if (name.size() < 15)
        return std::string(name);
    return std::string(name.substr(0, 4)) + "-" + std::string(name.substr(4, 2)) + "-" +
           std::string(name.substr(6, 2)) + " " + std::string(name.substr(9, 2)) + ":" +
           std::string(name.substr(11, 2)) + ":" + std::string(name.substr(13, 2)) + " UTC";
}

std::string utcText(std::time_t time) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

} // namespace kestrix::web
