#include "web/ArchivePages.h"

#include "core/util/Text.h"
#include "web/SiteAssets.h"
#include "web/StatusPages.h"

#include <algorithm>
#include <map>

namespace kestrix::web {

namespace {

// The first cards load at once, so that the page's load (and a screenshot) includes them; the
// rest as they scroll into view.
constexpr size_t kEagerCards = 24;

std::string head(const std::string& title, bool refresh) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">" +
           std::string(refresh ? "<meta http-equiv=\"refresh\" content=\"10\">" : "") + "<title>" +
           htmlEscape(title) + "</title><style>" + kSiteStyle + "</style></head>\n";
}

// 1,234,567
std::string withThousands(uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string byteText(uint64_t bytes) {
    const char* const units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    return unit == 0 ? std::to_string(bytes) + " bytes" : strPrintf("%.1f %s", value, units[unit]);
}

std::string folderPath(const LinkView& link) {
    std::string path;
    for (const std::string& part : link.link.folders)
        path += (path.empty() ? "" : "/") + part;
    return path;
}

std::string folderTitle(const std::vector<std::string>& folders) {
    std::string title;
    for (const std::string& part : folders)
        title += (title.empty() ? "" : " / ") + part;
    return title;
}

bool pathInFolder(const std::string& path, const std::string& folder) {
    return folder.empty() || path == folder ||
           (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/');
}

std::string linkTarget(const LinkView& link, bool indexed) {
    if (indexed)
        return "/link?dir=" + queryText(link.link.directory);
    return link.latest.empty() ? "" : "/pictures/" + urlPath(link.latest);
}

// "new (3 in a row)", "1,234 pictures"
std::string stateText(const LinkView& link) {
    if (const auto& s = link.status) {
        std::string text =
            "<span class=\"s-" + htmlEscape(s->status) + "\">" + htmlEscape(s->status) + "</span>";
        if (s->failuresInARow > 1)
            text += " (" + std::to_string(s->failuresInARow) + " in a row)";
        return text;
    }
    return link.latest.empty() ? "no pictures" : withThousands(link.pictures) + " pictures";
}

// The time of the last new picture (a watch) or of the newest one, with what it is; "" for none.
std::pair<std::string, std::string> timeOf(const LinkView& link) {
    if (link.status)
        return {"Last new picture", link.status->lastNew ? utcText(link.status->lastNew) : ""};
    if (link.latest.empty())
        return {};
    return {"Newest picture", pictureTimeText(link.latest.substr(link.latest.rfind('/') + 1))};
}

std::string card(const LinkView& link, bool indexed, bool eager) {
    const std::string target = linkTarget(link, indexed);
    const std::string open = target.empty() ? "<span>" : "<a href=\"" + htmlEscape(target) + "\">";
    const std::string close = target.empty() ? "</span>" : "</a>";
    std::string html = "<li class=\"card\">" + open;
    if (link.latest.empty())
        html += "<span class=\"none\">No picture yet</span>";
    else
        html += "<img src=\"/pictures/" + urlPath(link.latest) + "?thumb\" alt=\"" +
                htmlEscape(link.link.name) + "\"" + (eager ? "" : " loading=\"lazy\"") + ">";
    html += close + "<div class=\"name\">" + open + htmlEscape(link.link.name) + close +
            "</div><div class=\"dim\">" + stateText(link) + "</div>";
    if (const auto [what, when] = timeOf(link); !when.empty())
        html += "<div class=\"dim\" title=\"" + what + "\">" + when + "</div>";
    if (link.status && !link.status->error.empty())
        html += "<div class=\"error\">" + htmlEscape(link.status->error) + "</div>";
    if (link.status && !link.status->url.empty())
        html += "<div class=\"url\" title=\"" + htmlEscape(link.status->url) + "\">" +
                htmlEscape(link.status->url) + "</div>";
    return html + "</li>\n";
}

std::string summary(const ArchiveView& view) {
    std::string text = withThousands(view.links.size()) + " links";
    if (view.indexed)
        text += " &middot; " + std::string(view.ready ? "" : "reading the archive: ") +
                withThousands(view.files) + " pictures (" + byteText(view.bytes) + ")";
    else if (view.live && view.live->retention.indexReady)
        text += " &middot; " + withThousands(view.live->retention.files) + " pictures (" +
                byteText(view.live->retention.bytes) + ")";
    if (view.live) {
        const WatchFigures& w = view.live->watch;
        const RetentionFigures& r = view.live->retention;
        text += " &middot; " + withThousands(w.fetches) + " fetches, " + std::to_string(w.busy) +
                " of " + std::to_string(w.slots) + " busy";
        if (r.runs > 0)
            text += " &middot; retention deleted " + withThousands(r.deletedFiles) + " pictures (" +
                    byteText(r.deletedBytes) + ")";
        text += " &middot; refreshes every 10 s";
    }
    return text + " &middot; <a href=\"/api/status\">JSON</a>";
}

// Every folder of the links, with how many links it holds itself.
std::string folderList(const std::vector<LinkView>& links) {
    std::map<std::string, size_t> counts;
    for (const LinkView& link : links)
        ++counts[folderPath(link)];
    if (counts.size() < 2)
        return "";
    std::string html =
        "<details><summary>" + std::to_string(counts.size()) + " folders</summary><ul>";
    for (const auto& [path, count] : counts)
        html += "<li><a href=\"/?folder=" + queryText(path) + "\">" +
                (path.empty() ? std::string("(no folder)") : htmlEscape(path)) + "</a> " +
                std::to_string(count) + "</li>";
    return html + "</ul></details>\n";
}

std::string pageLink(size_t page, const std::string& folder, const std::string& text) {
    std::string target = "/?page=" + std::to_string(page + 1);
    if (!folder.empty())
        target += "&folder=" + queryText(folder);
    return "<a href=\"" + htmlEscape(target) + "\">" + text + "</a>";
}

} // namespace

std::string queryText(const std::string& text) {
    return percentEncoded(text, false);
}

std::string overviewPage(const ArchiveView& view, const OverviewOptions& options) {
    std::vector<const LinkView*> shown;
    for (const LinkView& link : view.links)
        if (pathInFolder(folderPath(link), options.folder))
            shown.push_back(&link);
    const size_t pages = std::max<size_t>(1, (shown.size() + kLinksPerPage - 1) / kLinksPerPage);
    const size_t page = std::min(options.page, pages - 1);
    std::string html = head(view.live ? "Kestrix watch" : "Kestrix archive", options.refresh);
    html += "<body><header><h1>" + std::string(view.live ? "Kestrix watch" : "Kestrix archive") +
            "</h1><span class=\"summary\">" + summary(view) + "</span></header>\n<main>\n";
    if (!options.peers.empty()) {
        html += "<nav class=\"peers\">Other shards:";
        for (const std::string& peer : options.peers)
            html += " <a href=\"" + htmlEscape(peer) + "\">" + htmlEscape(peer) + "</a>";
        html += "</nav>\n";
    }
    if (!options.folder.empty())
        html += "<p class=\"summary\"><a href=\"/\">All links</a> &rsaquo; " +
                htmlEscape(options.folder) + ": " + std::to_string(shown.size()) + " links</p>\n";
    html += folderList(view.links);
    const size_t first = page * kLinksPerPage;
    const size_t end = std::min(shown.size(), first + kLinksPerPage);
    std::optional<std::string> group;
    for (size_t i = first; i < end; ++i) {
        const std::string path = folderPath(*shown[i]);
        if (path != group) {
            if (group)
                html += "</ul>\n";
            if (!path.empty())
                html += "<h2>" + htmlEscape(folderTitle(shown[i]->link.folders)) + "</h2>\n";
            html += "<ul class=\"grid\">\n";
            group = path;
        }
        html += card(*shown[i], view.indexed, i - first < kEagerCards);
    }
    if (group)
        html += "</ul>\n";
    if (shown.empty())
        html += "<p>No links" +
                std::string(view.indexed && !view.ready ? " yet: the archive is "
                                                          "being read."
                                                        : ".") +
                "</p>\n";
    if (pages > 1) {
        html += "<nav class=\"pages\">";
        if (page > 0)
            html += pageLink(page - 1, options.folder, "&lsaquo; Previous");
        html +=
            "<span>Page " + std::to_string(page + 1) + " of " + std::to_string(pages) + "</span>";
        if (page + 1 < pages)
            html += pageLink(page + 1, options.folder, "Next &rsaquo;");
        html += "</nav>\n";
    }
    return html + "</main></body></html>\n";
}

std::string linkPage(const LinkView& link) {
    std::string html = head(link.link.name + " - Kestrix", false);
    html += "<body data-dir=\"" + htmlEscape(link.link.directory) +
            "\"><header><a href=\"/\">All links</a>";
    if (!link.link.folders.empty())
        html += "<span class=\"dim\">" + htmlEscape(folderTitle(link.link.folders)) + "</span>";
    html += "<h1>" + htmlEscape(link.link.name) + "</h1><span class=\"summary\">" + stateText(link);
    if (const auto [what, when] = timeOf(link); !when.empty())
        html += " &middot; " + toLowerAscii(what) + " " + when;
    if (link.status && !link.status->error.empty())
        html += " <span class=\"error\">" + htmlEscape(link.status->error) + "</span>";
    html += R"(</span></header>
<main class="browse">
<section id="days" aria-label="Days"><div id="dayList"></div></section>
<section id="viewer">
<div class="modes"><button type="button" id="dayMode" aria-pressed="true">Days</button>
<form id="hourForm"><label>Same time every day <input type="time" id="at" required></label>
<button>Show</button></form></div>
<p id="message" class="dim" role="status"></p>
<div id="stage"><img id="shown" alt=""></div>
<div class="controls">
<button type="button" id="prev" aria-label="Previous picture">&#9664;</button>
<button type="button" id="play" aria-pressed="false">Play</button>
<button type="button" id="next" aria-label="Next picture">&#9654;</button>
<label>Speed <select id="speed"><option value="1">1/s</option><option value="2">2/s</option>
<option value="5" selected>5/s</option><option value="10">10/s</option>
<option value="20">20/s</option><option value="30">30/s</option></select></label>
<span id="when"></span><span id="count" class="dim"></span>
<a id="original" target="_blank" rel="noopener">Original</a>
<a id="download" download hidden>Download timelapse</a></div>
<input type="range" id="scrub" min="0" max="0" value="0" aria-label="Picture">
<div id="strip"></div>
<section id="timelapse" hidden><h2>Timelapse of the day</h2>
<video id="movie" controls muted playsinline preload="metadata"></video></section>
<p class="dim">&larr; &rarr; one picture, Shift with them ten, Home and End, Space plays;
drag the picture to scrub. Times are UTC.</p>
</section>
</main>
<noscript><p>This page needs JavaScript; <a href="/">the overview</a> does not.</p></noscript>
<script src=")" +
            std::string(kBrowseScriptPath) + "\"></script></body></html>\n";
    return html;
}

} // namespace kestrix::web
