#include "web/ArchiveApi.h"

#include "core/util/JsonText.h"
#include "web/ArchiveFiles.h"
#include "web/RequestHead.h"
#include "web/StatusPages.h"

#include <cstdio>

namespace kestrix::web {

namespace {

PageReply json(std::string body) {
    return {200, std::move(body), "application/json", {}};
}

PageReply badRequest(const std::string& why) {
    return {400, why + "\n", "text/plain; charset=utf-8", {}};
}

std::string dayText(uint32_t day) {
    char text[16];
    std::snprintf(text, sizeof text, "%08u", day);
    return text;
}

std::string movieAddress(const std::string& directory, uint32_t day) {
    return "/pictures/" + urlPath((directory.empty() ? "" : directory + "/") + "timelapse/" +
                                  dayText(day) + ".mp4");
}

std::string namesJson(const std::vector<std::string>& names) {
    std::string out = "[";
    for (size_t i = 0; i < names.size(); ++i)
        // Archive names need no escaping: digits, '-', '.' and a known extension.
        out += (i ? ",\"" : "\"") + names[i] + "\"";
    return out + "]";
}

std::string stringsJson(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (size_t i = 0; i < texts.size(); ++i)
        out += (i ? "," : "") + jsonString(texts[i]);
    return out + "]";
}

bool linkInFolder(const LinkView& link, const std::string& folder) {
    if (folder.empty())
        return true;
    std::string path;
    for (const std::string& part : link.link.folders) {
        path += (path.empty() ? "" : "/") + part;
        if (path == folder)
            return true;
    }
    return false;
}

std::string linkJson(const LinkView& link) {
    std::string out = "{\"name\":" + jsonString(link.link.name) +
                      ",\"folders\":" + stringsJson(link.link.folders) +
                      ",\"dir\":" + jsonString(link.link.directory) +
                      ",\"path\":" + jsonString(link.path) +
                      ",\"pictures\":" + std::to_string(link.pictures) +
                      ",\"latest\":" + (link.latest.empty() ? "null" : jsonString(link.latest));
    if (const auto& s = link.status)
        out += ",\"status\":" + jsonString(s->status) +
               ",\"last_new\":" + (s->lastNew ? jsonString(isoUtc(s->lastNew)) : "null") +
               ",\"error\":" + jsonString(s->error) + ",\"url\":" + jsonString(s->url) +
               ",\"failures\":" + std::to_string(s->failuresInARow);
    return out + "}";
}

} // namespace

std::string linksJson(const ArchiveView& view, const std::string& folder) {
    std::string out = "{\"ready\":" + std::string(view.ready ? "true" : "false") +
                      ",\"files\":" + std::to_string(view.files) +
                      ",\"bytes\":" + std::to_string(view.bytes) + ",\"links\":[";
    bool first = true;
    for (const LinkView& link : view.links) {
        if (!linkInFolder(link, folder))
            continue;
        out += (first ? "" : ",") + linkJson(link);
        first = false;
    }
    return out + "]}\n";
}

std::optional<PageReply> archiveApi(const SiteSources& sources, const PageRequest& request) {
    const std::string& path = request.path;
    if (path == "/api/links")
        return json(linksJson(viewOf(sources), queryValue(request.query, "folder").value_or("")));
    if (path != "/api/days" && path != "/api/day" && path != "/api/hour")
        return std::nullopt;
    const std::optional<std::string> directory = queryValue(request.query, "link");
    if (!directory)
        return badRequest("Which link? Add ?link=FOLDER");
    if (!findLink(sources, *directory))
        return notFound();
    const ArchiveIndex& index = *sources.index;
    const std::string head = "{\"link\":" + jsonString(*directory);
    if (path == "/api/days") {
        const std::set<uint32_t> movies = timelapseDays(sources.saveDir, *directory);
        std::string out = head + ",\"days\":[";
        bool first = true;
        for (const ArchiveIndex::DayCount& day : index.days(*directory)) {
            out += std::string(first ? "" : ",") + "{\"day\":\"" + dayText(day.day) +
                   "\",\"pictures\":" + std::to_string(day.pictures) +
                   ",\"timelapse\":" + (movies.count(day.day) ? "true" : "false") + "}";
            first = false;
        }
        return json(out + "]}\n");
    }
    if (path == "/api/day") {
        const std::optional<uint32_t> day = parseDay(queryValue(request.query, "day").value_or(""));
        if (!day)
            return badRequest("Which day? Add &day=YYYYMMDD");
        const bool movie = timelapseDays(sources.saveDir, *directory).count(*day) != 0;
        return json(head + ",\"day\":\"" + dayText(*day) + "\",\"pictures\":" +
                    namesJson(index.picturesOfDay(*directory, *day)) + ",\"timelapse\":" +
                    (movie ? jsonString(movieAddress(*directory, *day)) : "null") + "}\n");
    }
    const std::optional<int> at = parseTimeOfDay(queryValue(request.query, "at").value_or(""));
    if (!at)
        return badRequest("Which time of day? Add &at=HH:MM");
    char atText[16];
    std::snprintf(atText, sizeof atText, "%02d:%02d:%02d", *at / 3600, *at / 60 % 60, *at % 60);
    return json(head + ",\"at\":\"" + atText +
                "\",\"pictures\":" + namesJson(index.nearestEachDay(*directory, *at)) + "}\n");
}

} // namespace kestrix::web
