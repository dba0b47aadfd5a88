// The archive's site over real loopback sockets: the JSON routes against a generated archive, the
// overview of hundreds of links, the files it serves (and everything it refuses), thumbnails made
// on demand, timelapse movies in byte ranges, and the watch's overview as the status page was.
#include "core/decode/ImageDecoder.h"
#include "core/image/ImageFile.h"
#include "core/watch/Thumbnails.h"
#include "web/ArchiveFiles.h"
#include "web/ArchiveSiteSupport.h"
#include "web/RequestHead.h"
#include "web/StatusPages.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace kestrix::test {
namespace {

namespace fs = std::filesystem;

// The strings of a JSON array of plain names (["a","b"]) after `key`.
std::vector<std::string> namesAfter(const std::string& json, const std::string& key) {
    std::vector<std::string> names;
    const size_t start = json.find("\"" + key + "\":[");
    if (start == std::string::npos)
        return names;
    const size_t end = json.find(']', start);
    const std::string list = json.substr(start, end - start);
    const std::regex name("\"([0-9]{8}-[0-9]{6}[^\"]*)\"");
    for (std::sregex_iterator it(list.begin(), list.end(), name), done; it != done; ++it)
        names.push_back((*it)[1]);
    return names;
}

bool validJson(const std::string& text) {
    TempDir dir("json");
    writeFile(dir.file("j"), text);
    return runCommand("/usr/bin/python3 -c 'import json,sys; json.load(open(sys.argv[1]))' " +
                      dir.file("j"))
               .status == 0;
}

TEST(ArchiveSite, JsonRoutesAnswerFromTheIndex) {
    WeekArchive week;
    fs::create_directories(week.root + "/Alps/Matterhorn/timelapse");
    writeFile(week.root + "/Alps/Matterhorn/timelapse/20261104.mp4", "movie");
    writeFile(week.root + "/Alps/Matterhorn/timelapse/notes.mp4", "not a day");
    const SiteServer site(week.sources());

    const std::string links = bodyOf(site.get("/api/links"));
    EXPECT_TRUE(validJson(links)) << links;
    EXPECT_NE(links.find("{\"name\":\"Matterhorn\",\"folders\":[\"Alps\"],\"dir\":\"Alps/"
                         "Matterhorn\",\"path\":\"Alps/Matterhorn\",\"pictures\":504,"
                         "\"latest\":\"Alps/Matterhorn/20261108-234000.jpg\"}"),
              std::string::npos)
        << links;
    EXPECT_NE(links.find("\"ready\":true,\"files\":1344,"), std::string::npos) << links;
    EXPECT_EQ(links.find("\"status\""), std::string::npos) << "no watch, no state";
    const std::string alps = bodyOf(site.get("/api/links?folder=Alps"));
    EXPECT_NE(alps.find("Eiger"), std::string::npos);
    EXPECT_EQ(alps.find("Harbour"), std::string::npos);

    const std::string days = bodyOf(site.get("/api/days?link=Alps%2FMatterhorn"));
    EXPECT_TRUE(validJson(days)) << days;
    EXPECT_NE(days.find("{\"link\":\"Alps/Matterhorn\",\"days\":[{\"day\":\"20261102\","
                        "\"pictures\":72,\"timelapse\":false},"),
              std::string::npos)
        << days;
    EXPECT_NE(days.find("{\"day\":\"20261104\",\"pictures\":72,\"timelapse\":true}"),
              std::string::npos);
    EXPECT_NE(days.find("{\"day\":\"20261108\",\"pictures\":72,\"timelapse\":false}]}"),
              std::string::npos);

    const std::string day = bodyOf(site.get("/api/day?link=Alps/Eiger&day=20261105"));
    const std::vector<std::string> names = namesAfter(day, "pictures");
    ASSERT_EQ(names.size(), 24u) << day;
    EXPECT_EQ(names.front(), "20261105-060000.jpg");
    EXPECT_EQ(names.back(), "20261105-173000.jpg");
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_NE(day.find("\"timelapse\":null"), std::string::npos);
    const std::string movieDay = bodyOf(site.get("/api/day?link=Alps/Matterhorn&day=20261104"));
    EXPECT_NE(movieDay.find("\"timelapse\":\"/pictures/Alps/Matterhorn/timelapse/20261104.mp4\""),
              std::string::npos)
        << movieDay;

    const std::string hour = bodyOf(site.get("/api/hour?link=Harbour&at=12:08"));
    EXPECT_TRUE(validJson(hour)) << hour;
    const std::vector<std::string> noon = namesAfter(hour, "pictures");
    ASSERT_EQ(noon.size(), 7u) << hour;
    for (size_t i = 0; i < noon.size(); ++i)
        EXPECT_EQ(noon[i], std::to_string(20261102 + i) + "-121500.jpg");
    EXPECT_NE(hour.find("\"at\":\"12:08:00\""), std::string::npos);
    EXPECT_EQ(
        namesAfter(bodyOf(site.get("/api/hour?link=Alps/Eiger&at=23:59:59")), "pictures").back(),
        "20261108-173000.jpg");

    struct Refused {
        const char* target;
        int status;
    };
    for (const Refused& r :
         {Refused{"/api/days", 400}, Refused{"/api/days?link=Nowhere", 404},
          Refused{"/api/days?link=..%2FHarbour", 404}, Refused{"/api/days?link=Alps", 404},
          Refused{"/api/day?link=Harbour", 400}, Refused{"/api/day?link=Harbour&day=2026110", 400},
          Refused{"/api/day?link=Harbour&day=2026-11-02", 400},
          Refused{"/api/hour?link=Harbour", 400}, Refused{"/api/hour?link=Harbour&at=24:00", 400},
          Refused{"/api/hour?link=Harbour&at=7:00", 400},
          Refused{"/api/hour?link=Harbour&at=12:60", 400},
          Refused{"/api/hour?link=Har%ZZbour&at=12:00", 400}, Refused{"/api/nothing", 404}})
        EXPECT_EQ(statusOf(site.get(r.target)), r.status) << r.target;
    // A day without pictures is an empty day, not an error.
    EXPECT_TRUE(
        namesAfter(bodyOf(site.get("/api/day?link=Harbour&day=20251224")), "pictures").empty());
}

// 200 links in folders, read from the archive's folders: every link on some page of the
// overview, each page far under 1 MB; one folder on its own.
TEST(ArchiveSite, TheOverviewShowsEveryLinkPageByPage) {
    TempDir dir("site");
    ArchiveBuilder pictures(dir.file("archive"));
    std::set<std::string> expected;
    for (int i = 0; i < 200; ++i) {
        const std::string directory =
            "Region " + std::to_string(i / 40) + "/Cam & <" + std::to_string(i) + ">";
        pictures.addPicture(directory, kArchiveStart + i * 60, 12, 0, i);
        expected.insert(directory);
    }
    ArchiveIndex index;
    scanArchive(index, dir.file("archive"));
    web::SiteSources sources;
    sources.saveDir = dir.file("archive");
    sources.index = &index;
    const SiteServer site(sources);

    std::set<std::string> listed;
    const std::regex card(
        "<a href=\"/link\\?dir=([^\"]*)\"><img src=\"/pictures/([^\"]*)\\?thumb\"");
    int pages = 0;
    for (std::string target = "/"; !target.empty(); ++pages) {
        const std::string response = site.get(target);
        ASSERT_EQ(statusOf(response), 200) << target;
        const std::string page = bodyOf(response);
        EXPECT_LT(page.size(), 1u << 20);
        EXPECT_EQ(page.find("<script"), std::string::npos) << "the overview needs no script";
        EXPECT_EQ(page.find("src=\"http"), std::string::npos) << "no external assets";
        for (std::sregex_iterator it(page.begin(), page.end(), card), done; it != done; ++it) {
            const std::string directory = web::queryValue("d=" + (*it)[1].str(), "d").value();
            EXPECT_TRUE(listed.insert(directory).second) << directory << " listed twice";
            EXPECT_TRUE((*it)[2].str().starts_with(web::urlPath(directory) + "/")) << (*it)[2];
        }
        const std::smatch next = [&] {
            std::smatch m;
            std::regex_search(page, m, std::regex("<a href=\"(/\\?page=[0-9]+)\">Next"));
            return m;
        }();
        target = next.empty() ? "" : next[1].str();
        ASSERT_LT(pages, 10);
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(pages, 2);

    const std::string region = bodyOf(site.get("/?folder=Region%202"));
    EXPECT_NE(region.find("Cam &amp; &lt;80&gt;"), std::string::npos);
    EXPECT_EQ(region.find("Cam &amp; &lt;120&gt;"), std::string::npos);
    EXPECT_EQ(region.find("Next"), std::string::npos) << "40 links fit on one page";
    // A link's page is a shell for the script; one the archive does not hold is not found.
    const std::string linkPage = site.get("/link?dir=Region%200%2FCam%20%26%20%3C3%3E");
    EXPECT_EQ(statusOf(linkPage), 200);
    EXPECT_NE(bodyOf(linkPage).find("data-dir=\"Region 0/Cam &amp; &lt;3&gt;\""),
              std::string::npos);
    EXPECT_NE(fieldOf(linkPage, "Content-Security-Policy").find("script-src 'self'"),
              std::string::npos);
    EXPECT_EQ(statusOf(site.get("/link?dir=Region%200")), 404);
    EXPECT_EQ(statusOf(site.get("/link?dir=..%2F..%2Fetc")), 404);
    const std::string script = site.get("/static/browse.js");
    EXPECT_EQ(statusOf(script), 200);
    EXPECT_EQ(fieldOf(script, "Content-Type"), "text/javascript; charset=utf-8");

    // The other shards' pages, linked under the header, their addresses escaped.
    sources.peers = {"http://shard-1:8080/", "http://shard-2:8080/?a=1&b=\"2\""};
    const SiteServer sharded(sources);
    const std::string overview = bodyOf(sharded.get("/"));
    EXPECT_NE(overview.find("<nav class=\"peers\">Other shards: <a "
                            "href=\"http://shard-1:8080/\">http://shard-1:8080/</a> <a "
                            "href=\"http://shard-2:8080/?a=1&amp;b=&quot;2&quot;\">"),
              std::string::npos)
        << overview.substr(0, 2000);
    EXPECT_EQ(bodyOf(site.get("/")).find("Other shards"), std::string::npos);
}

// Only archive pictures, their thumbnails and timelapse movies leave the save folder: no
// traversal in any spelling, no link out of the folder, no other file, not the thumbnails'
// folder itself.
TEST(ArchiveSite, ServesOnlyTheArchivesOwnFiles) {
    WeekArchive week;
    writeFile(week.dir.file("secret.txt"), "secret");
    writeFile(week.dir.file("20261102-000000.jpg"), "outside");
    writeFile(week.root + "/Harbour/notes.txt", "notes");
    fs::create_directories(week.root + "/Harbour/timelapse");
    fs::create_symlink(week.dir.file("20261102-000000.jpg"),
                       week.root + "/Harbour/20261101-000000.jpg");
    fs::create_symlink(week.dir.path(), week.root + "/Harbour/out");
    fs::create_symlink(week.dir.file("20261102-000000.jpg"),
                       week.root + "/Harbour/timelapse/20261101.mp4");
    writeFile(week.root + "/Harbour/20261103.mp4", "not in timelapse/");
    writeFile(week.root + "/Harbour/timelapse/20261102.mp4", "movie");
    ASSERT_TRUE(writeThumbnail(week.root, "Harbour/20261102-000000.jpg", sceneBitmap(0, 0, 1)));
    const SiteServer site(week.sources());

    EXPECT_EQ(statusOf(site.get("/pictures/Harbour/20261102-000000.jpg")), 200);
    EXPECT_EQ(statusOf(site.get("/pictures/Harbour/timelapse/20261102.mp4")), 200);
    EXPECT_EQ(statusOf(site.get("/pictures/Harbour/20261102-000000.jpg?thumb")), 200);
    for (const char* target : {"/pictures/../secret.txt",
                               "/pictures/%2e%2e/secret.txt",
                               "/pictures/..%2fsecret.txt",
                               "/pictures/Harbour/..%2F..%2F20261102-000000.jpg",
                               "/pictures//etc/passwd",
                               "/pictures/Harbour/./20261102-000000.jpg",
                               "/pictures/Harbour/notes.txt",
                               "/pictures/Harbour/20261101-000000.jpg",
                               "/pictures/Harbour/20261101-000000.jpg?thumb",
                               "/pictures/Harbour/out/20261102-000000.jpg",
                               "/pictures/Harbour/timelapse/20261101.mp4",
                               "/pictures/Harbour/20261103.mp4",
                               "/pictures/Harbour/timelapse/../timelapse/20261102.mp4",
                               "/pictures/.kestrix/thumbs/Harbour/20261102-000000.jpg.jpg",
                               "/pictures/.kestrix/state",
                               "/pictures/",
                               "/pictures",
                               "/secret.txt",
                               "/pictures/Harbour/20261102-000000.jpg/..",
                               "/pictures/Harbour/19991231-000000.jpg"}) {
        const std::string response = site.get(target);
        EXPECT_TRUE(statusOf(response) == 404 || statusOf(response) == 400) << target;
        EXPECT_EQ(response.find("secret"), std::string::npos) << target;
        EXPECT_EQ(response.find("outside"), std::string::npos) << target;
    }
    // Not a page that changes anything: other methods are refused before the site.
    EXPECT_EQ(statusOf(exchange(site.port(), "DELETE /pictures/Harbour/20261102-000000.jpg "
                                             "HTTP/1.1\r\nHost: k\r\n\r\n")),
              405);
    EXPECT_TRUE(fs::exists(week.root + "/Harbour/20261102-000000.jpg"));
}

// A thumbnail is made when first asked for and then read, never made again; a picture that
// cannot be decoded is shown itself.
TEST(ArchiveSite, ThumbnailsAreMadeWhenAskedForOnce) {
    WeekArchive week;
    const SiteServer site(week.sources());
    const std::string relative = "Alps/Eiger/20261103-120000.jpg";
    ASSERT_FALSE(fs::exists(thumbnailPath(week.root, relative)));
    const std::string first = site.get("/pictures/" + relative + "?thumb");
    ASSERT_EQ(statusOf(first), 200);
    EXPECT_EQ(fieldOf(first, "Content-Type"), "image/jpeg");
    EXPECT_EQ(fieldOf(first, "Cache-Control"), "max-age=86400");
    EXPECT_EQ(bodyOf(first), readFile(thumbnailPath(week.root, relative)));
    Bitmap thumbnail;
    decodeImage(bodyOf(first), "t.jpg", thumbnail, nullptr);
    EXPECT_EQ(thumbnail.width(), 160);

    writeFile(thumbnailPath(week.root, relative), "kept");
    EXPECT_EQ(bodyOf(site.get("/pictures/" + relative + "?thumb")), "kept");

    writeFile(week.root + "/Alps/Eiger/20261103-120500.jpg", "broken picture");
    const std::string broken = site.get("/pictures/Alps/Eiger/20261103-120500.jpg?thumb");
    EXPECT_EQ(statusOf(broken), 200);
    EXPECT_EQ(bodyOf(broken), "broken picture");
    EXPECT_EQ(fieldOf(broken, "Cache-Control"), "no-store") << "may be a thumbnail next time";
}

TEST(ArchiveSite, MoviesAreSentInRanges) {
    TempDir dir("site");
    const std::string root = dir.file("archive");
    fs::create_directories(root + "/Cam/timelapse");
    std::string movie(web::kMoviePartBytes + 1000, '\0');
    for (size_t i = 0; i < movie.size(); ++i)
        movie[i] = static_cast<char>('a' + i % 26);
    writeFile(root + "/Cam/timelapse/20261102.mp4", movie);
    ArchiveIndex index;
    scanArchive(index, root);
    web::SiteSources sources;
    sources.saveDir = root;
    sources.index = &index;
    const SiteServer site(sources);
    const std::string target = "/pictures/Cam/timelapse/20261102.mp4";
    const std::string total = "/" + std::to_string(movie.size());

    struct Case {
        const char* range;
        int status;
        size_t first, count;
        std::string contentRange;
    };
    const Case cases[] = {
        {"bytes=0-1", 206, 0, 2, "bytes 0-1" + total},
        {"bytes=100-199", 206, 100, 100, "bytes 100-199" + total},
        {"bytes=-500", 206, movie.size() - 500, 500,
         "bytes " + std::to_string(movie.size() - 500) + "-" + std::to_string(movie.size() - 1) +
             total},
        // Open-ended: one part at a time, the player asks on.
        {"bytes=0-", 206, 0, web::kMoviePartBytes,
         "bytes 0-" + std::to_string(web::kMoviePartBytes - 1) + total},
        {"bytes=4194300-", 206, 4194300, movie.size() - 4194300,
         "bytes 4194300-" + std::to_string(movie.size() - 1) + total},
        {"bytes=10-999999999", 206, 10, web::kMoviePartBytes,
         "bytes 10-" + std::to_string(web::kMoviePartBytes + 9) + total},
        {"bytes=99999999-", 416, 0, 0, "bytes *" + total},
        {"bytes=-0", 416, 0, 0, "bytes *" + total},
        // Not understood or several ranges: the whole movie.
        {"bytes=5-1", 200, 0, movie.size(), "(none)"},
        {"bytes=0-1,5-6", 200, 0, movie.size(), "(none)"},
        {"items=0-1", 200, 0, movie.size(), "(none)"},
        {"bytes=x-y", 200, 0, movie.size(), "(none)"},
        {"", 200, 0, movie.size(), "(none)"},
    };
    for (const Case& c : cases) {
        const std::string field = *c.range ? std::string("Range: ") + c.range + "\r\n" : "";
        const std::string response = site.get(target, field);
        EXPECT_EQ(statusOf(response), c.status) << c.range;
        EXPECT_EQ(fieldOf(response, "Content-Range"), c.contentRange) << c.range;
        EXPECT_EQ(fieldOf(response, "Accept-Ranges"), "bytes") << c.range;
        if (c.status != 416) {
            EXPECT_EQ(fieldOf(response, "Content-Type"), "video/mp4");
            EXPECT_TRUE(bodyOf(response) == movie.substr(c.first, c.count)) << c.range;
        }
    }
    // HEAD gives the length of what GET would send.
    const std::string head = exchange(site.port(), "HEAD " + target +
                                                       " HTTP/1.1\r\nHost: k\r\nRange: "
                                                       "bytes=0-9\r\n\r\n");
    EXPECT_EQ(statusOf(head), 206);
    EXPECT_EQ(fieldOf(head, "Content-Length"), "10");
    // A second Range field could be read otherwise by a proxy in front.
    EXPECT_EQ(statusOf(site.get(target, "Range: bytes=0-1\r\nRange: bytes=2-3\r\n")), 400);
}

// The watch's overview, as its status page was: every link with its latest picture, state and
// error, grouped by folders, refreshing itself, no script; its JSON as before.
TEST(ArchiveSite, TheWatchesOverviewShowsItsState) {
    WeekArchive week;
    WatchSnapshot snapshot;
    for (const char* path : {"Alps/Matterhorn", "Alps/Eiger", "Harbour", "Offline"}) {
        LinkStatus s;
        s.link = path;
        s.url = std::string("http://cam.example/") + path + ".jpg";
        s.status = "new";
        s.lastNew = kArchiveStart + 7 * kDaySeconds - 60;
        snapshot.links.push_back(s);
    }
    snapshot.links[3].status = "error";
    snapshot.links[3].error = "HTTP 404 <Not Found>";
    snapshot.links[3].failuresInARow = 3;
    snapshot.watch.slots = 4;
    web::SiteSources sources = week.sources();
    sources.live = [snapshot] { return snapshot; };
    sources.healthy = [](std::string& why) {
        why = "stuck";
        return false;
    };
    sources.links = {{{"Alps"}, "Matterhorn", "Alps/Matterhorn"},
                     {{"Alps"}, "Eiger", "Alps/Eiger"},
                     {{}, "Harbour", "Harbour"},
                     {{}, "Offline", "Offline"}};
    const SiteServer site(sources);
    const std::string page = bodyOf(site.get("/"));
    EXPECT_NE(page.find("<img src=\"/pictures/Alps/Matterhorn/20261108-234000.jpg?thumb\""),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("<meta http-equiv=\"refresh\" content=\"10\">"), std::string::npos);
    EXPECT_NE(page.find("<h2>Alps</h2>"), std::string::npos);
    EXPECT_NE(page.find("HTTP 404 &lt;Not Found&gt;"), std::string::npos);
    EXPECT_NE(page.find("(3 in a row)"), std::string::npos);
    EXPECT_NE(page.find("No picture yet"), std::string::npos);
    EXPECT_NE(page.find("title=\"Last new picture\">2026-11-08 23:59:00 UTC<"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<link"), std::string::npos);
    const std::string status = bodyOf(site.get("/api/status"));
    EXPECT_TRUE(validJson(status)) << status;
    EXPECT_NE(status.find("\"failures\":3"), std::string::npos);
    EXPECT_EQ(statusOf(site.get("/healthz")), 503);
    const std::string links = bodyOf(site.get("/api/links"));
    EXPECT_NE(links.find("\"status\":\"error\",\"last_new\":\"2026-11-08T23:59:00Z\","
                         "\"error\":\"HTTP 404 <Not Found>\""),
              std::string::npos)
        << links;
}

} // namespace
} // namespace kestrix::test
