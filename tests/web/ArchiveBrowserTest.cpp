// The archive's pages in a real browser (headless Chromium through its DevTools protocol): the
// overview lists every link of a 200-link archive; a day's scrubber moves with the arrow keys; the
// same time of every day gives one picture per day; a day's timelapse plays; a day and the same
// time of every day are offered as timelapse downloads; and the pages look right at a desktop's
// and a phone's width (screenshots; KESTRIX_SCREENSHOTS=DIR keeps them).
#include "core/decode/ImageDecoder.h"
#include "support/BrowserDriver.h"
#include "web/ArchiveSiteSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace kestrix::test {
namespace {

namespace fs = std::filesystem;

// "a\nb" as a JSON string from the browser: a, b.
std::vector<std::string> lines(const std::string& json) {
    std::vector<std::string> out;
    if (json.size() < 2)
        return out;
    const std::string text = json.substr(1, json.size() - 2);
    size_t begin = 0;
    for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", begin)) {
        out.push_back(text.substr(begin, at - begin));
        begin = at + 2;
    }
    out.push_back(text.substr(begin));
    return out;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

const std::string kWhen = "document.getElementById('when').textContent";
const std::string kShown = "document.getElementById('shown').src";
// The shown picture's time once its picture is on screen.
std::string whenShowing(const std::string& time) {
    return kWhen + " === '" + time + "' && " + kShown + ".endsWith('" + time.substr(0, 4) +
           time.substr(5, 2) + time.substr(8, 2) + "-" + time.substr(11, 2) + time.substr(14, 2) +
           time.substr(17, 2) + ".jpg') && " + kWhen;
}

TEST(ArchiveBrowser, TheOverviewListsEveryLink) {
    TempDir dir("browser");
    ArchiveBuilder pictures(dir.file("archive"));
    std::set<std::string> expected;
    for (int i = 0; i < 200; ++i) {
        pictures.addPicture("Site " + std::to_string(i / 25) + "/Cam " + std::to_string(i),
                            kArchiveStart + i * 60, 12, 0, i);
        expected.insert("Cam " + std::to_string(i));
    }
    ArchiveIndex index;
    scanArchive(index, dir.file("archive"));
    web::SiteSources sources;
    sources.saveDir = dir.file("archive");
    sources.index = &index;
    const SiteServer site(sources);
    const std::string names = "[...document.querySelectorAll('.card .name')]"
                              ".map((e) => e.textContent).join('\\n')";
    const std::string nextPage = "(document.querySelector('.pages a:last-child') || {}).href";
    const BrowserRun run = runInBrowser(
        {viewport(1280, 800), go(site.base() + "/"), evaluate(names), evaluate(nextPage),
         // The first row's thumbnails are on screen.
         waitUntil("[...document.images].slice(0, 6).every((i) => i.complete && "
                   "i.naturalWidth === 160)"),
         go(site.base() + "/?page=2"), evaluate(names)});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.values.size(), 4u);
    std::set<std::string> listed;
    for (const size_t page : {0u, 3u})
        for (const std::string& name : lines(run.values[page]))
            EXPECT_TRUE(listed.insert(name).second) << name << " listed twice";
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(run.values[1], quoted(site.base() + "/?page=2"));
}

// A day of Matterhorn, every 20 minutes: the arrow keys step, Home and End go to the ends, and
// the picture on screen follows; the same time of every day: one picture per day, the nearest.
TEST(ArchiveBrowser, TheScrubberAndTheSameTimeOfEveryDay) {
    WeekArchive week;
    const SiteServer site(week.sources());
    const std::string day = site.base() + "/link?dir=Alps%2FMatterhorn&day=20261104";
    const std::string strip = "[...document.getElementById('strip').children]"
                              ".map((b) => b.textContent).join('\\n')";
    const BrowserRun run = runInBrowser({
        viewport(1280, 800),
        go(day),
        waitUntil(whenShowing("2026-11-04 00:00:00 UTC")),
        evaluate("document.getElementById('strip').children.length + ' ' + "
                 "document.getElementById('scrub').max"),
        press("ArrowRight"),
        waitUntil(whenShowing("2026-11-04 00:20:00 UTC")),
        evaluate("document.getElementById('scrub').value + ' ' + "
                 "document.getElementById('original').getAttribute('href')"),
        press("End"),
        waitUntil(whenShowing("2026-11-04 23:40:00 UTC")),
        press("ArrowLeft"),
        waitUntil(whenShowing("2026-11-04 23:20:00 UTC")),
        // The day is kept in the address, so that a reload or a link comes back to it.
        waitUntil("location.search.endsWith('t=232000') && location.search"),
        // The same time of every day, from the form.
        evaluate("document.getElementById('at').value = '12:08';"
                 "document.getElementById('hourForm').requestSubmit(); 1"),
        waitUntil("document.getElementById('strip').children.length === 7 && " + strip),
        waitUntil(whenShowing("2026-11-08 12:00:00 UTC")),
        press("ArrowLeft"),
        waitUntil(whenShowing("2026-11-07 12:00:00 UTC")),
        press("Home"),
        waitUntil(whenShowing("2026-11-02 12:00:00 UTC")),
        waitUntil("location.search.includes('at=') && location.search"),
    });
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.values.size(), 13u) << run.errors;
    EXPECT_EQ(run.values[1], quoted("72 71"));
    EXPECT_EQ(run.values[3], quoted("1 /pictures/Alps/Matterhorn/20261104-002000.jpg"));
    EXPECT_EQ(run.values[6], quoted("?dir=Alps%2FMatterhorn&day=20261104&t=232000"));
    EXPECT_EQ(lines(run.values[8]), (std::vector<std::string>{"11-02", "11-03", "11-04", "11-05",
                                                              "11-06", "11-07", "11-08"}));
    EXPECT_EQ(run.values[12], quoted("?dir=Alps%2FMatterhorn&at=12%3A08"));
}

TEST(ArchiveBrowser, ADaysTimelapsePlays) {
    WeekArchive week;
    const std::string movie = week.root + "/Harbour/timelapse/20261105.mp4";
    fs::create_directories(fs::path(movie).parent_path());
    const CommandResult made =
        runCommand("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:rate=10 -t 6 "
                   "-pix_fmt yuv420p -c:v libx264 -movflags +faststart '" +
                   movie + "' 2>&1");
    ASSERT_EQ(made.status, 0) << made.out;
    const SiteServer site(week.sources());
    const BrowserRun run = runInBrowser({
        go(site.base() + "/link?dir=Harbour&day=20261105"),
        waitUntil("!document.getElementById('timelapse').hidden"),
        evaluate("(async () => { const v = document.getElementById('movie');"
                 " await v.play(); const start = v.currentTime;"
                 " await new Promise((r) => setTimeout(r, 1500));"
                 " return v.currentTime > start + 0.5 ? 'playing' : 'stuck at ' + v.currentTime;"
                 " })()"),
        evaluate("document.getElementById('movie').duration.toFixed(0)"),
        // Another day has none.
        evaluate("document.querySelector('#dayList button[data-day=\"20261106\"]').click(); 1"),
        waitUntil("document.getElementById('timelapse').hidden && "
                  "document.getElementById('when').textContent.startsWith('2026-11-06')"),
    });
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.values.size(), 5u);
    EXPECT_EQ(run.values[1], quoted("playing"));
    EXPECT_EQ(run.values[2], quoted("6"));
}

// The day's pictures and one picture a day are offered as downloads the server makes.
TEST(ArchiveBrowser, TheDayAndTheSameTimeOfEveryDayOfferADownload) {
    WeekArchive week;
    const SiteServer site(week.sources());
    const std::string href = "document.getElementById('download').getAttribute('href')";
    const BrowserRun run = runInBrowser({
        go(site.base() + "/link?dir=Harbour&day=20261105"),
        waitUntil("!document.getElementById('download').hidden && " + href),
        evaluate("fetch(" + href +
                 ").then((r) => r.status + ' ' + r.headers.get('content-type') + "
                 "' ' + r.headers.get('content-disposition'))"),
        evaluate("document.getElementById('hourForm').requestSubmit(); 1"),
        waitUntil(href + ".includes('at=') && " + href),
    });
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(run.values.size(), 4u) << run.errors;
    EXPECT_EQ(run.values[0], quoted("/api/timelapse?link=Harbour&from=2026-11-05&to=2026-11-06"));
    EXPECT_EQ(run.values[1],
              quoted("200 video/mp4 attachment; filename=\\\"Harbour-20261105-20261106.mp4\\\""));
    EXPECT_EQ(run.values[3], quoted("/api/timelapse?link=Harbour&from=2026-11-02&to=2026-11-09&"
                                    "at=12%3A00%3A00"));
}

// Screenshots at 1280 x 800 and 390 x 844 of the overview (as a watch shows it) and of a link's
// page: each fills its width without sideways scrolling, and the pictures show.
TEST(ArchiveBrowser, PagesFitADesktopAndAPhone) {
    TempDir dir("browser");
    ArchiveBuilder pictures(dir.file("archive"), 640, 360);
    const std::vector<std::pair<std::string, std::vector<std::string>>> folders = {
        {"Alps", {"Matterhorn", "Eiger", "Jungfrau", "Aletsch"}},
        {"Coast", {"Harbour", "Lighthouse", "Pier"}},
        {"City", {"Old Town", "Station", "Bridge", "Market"}}};
    web::SiteSources sources;
    WatchSnapshot snapshot;
    int hue = 0;
    for (const auto& [folder, names] : folders)
        for (const std::string& name : names) {
            const std::string directory = folder + "/" + name;
            hue = (hue + 53) % 256;
            pictures.addLink(directory, kArchiveStart, kArchiveStart + 2 * kDaySeconds + 13 * 3600,
                             1800, hue);
            sources.links.push_back({{folder}, name, directory});
            LinkStatus s;
            s.link = directory;
            s.url = "https://" + std::string(name == "Old Town" ? "oldtown" : "cam") + ".example/" +
                    folder + "/live.jpg";
            s.status = "new";
            s.lastNew = kArchiveStart + 2 * kDaySeconds + 13 * 3600 - 1800;
            snapshot.links.push_back(s);
        }
    snapshot.links[5].status = "error";
    snapshot.links[5].error = "Timed out after 60 s without data";
    snapshot.links[5].failuresInARow = 4;
    snapshot.links[2].status = "duplicate";
    snapshot.watch.slots = 16;
    snapshot.watch.fetches = 48213;
    const std::string movie = dir.file("archive/Alps/Matterhorn/timelapse/20261104.mp4");
    fs::create_directories(fs::path(movie).parent_path());
    ASSERT_EQ(runCommand("ffmpeg -nostdin -loglevel error -f lavfi -i "
                         "testsrc=size=320x240:rate=10 -t 3 -pix_fmt yuv420p -c:v libx264 '" +
                         movie + "' 2>&1")
                  .status,
              0);
    ArchiveIndex index;
    scanArchive(index, dir.file("archive"));
    sources.saveDir = dir.file("archive");
    sources.index = &index;
    sources.live = [snapshot] { return snapshot; };
    const SiteServer site(sources);

    const char* kept = std::getenv("KESTRIX_SCREENSHOTS");
    const std::string shots = kept ? kept : dir.path();
    const std::string wide = "document.documentElement.scrollWidth <= innerWidth";
    const std::string linkPage = site.base() + "/link?dir=Alps%2FMatterhorn&day=20261104&t=130000";
    const std::string linkShown =
        "document.getElementById('shown').complete && document.getElementById('shown')"
        ".naturalWidth > 0 && [...document.querySelectorAll('#strip img')].filter((i) => "
        "i.complete && i.naturalWidth > 0).length > 3";
    std::vector<BrowserStep> steps;
    for (const auto& [width, height, tag] :
         {std::tuple{1280, 800, "desktop"}, std::tuple{390, 844, "phone"}}) {
        const std::string prefix = shots + "/" + tag;
        steps.push_back(viewport(width, height));
        steps.push_back(go(site.base() + "/"));
        steps.push_back(waitUntil("[...document.images].filter((i) => i.complete && "
                                  "i.naturalWidth > 0).length >= 4"));
        steps.push_back(evaluate(wide));
        steps.push_back(screenshot(prefix + "-overview.png"));
        steps.push_back(go(linkPage));
        steps.push_back(waitUntil(linkShown));
        steps.push_back(evaluate(wide));
        steps.push_back(screenshot(prefix + "-link.png"));
    }
    const BrowserRun run = runInBrowser(steps);
    ASSERT_EQ(run.status, 0) << run.errors;
    for (const std::string& value : run.values)
        EXPECT_EQ(value, "true") << "fits its width without sideways scrolling";
    for (const auto& [name, width, height] :
         {std::tuple{"desktop-overview", 1280, 800}, std::tuple{"desktop-link", 1280, 800},
          std::tuple{"phone-overview", 390, 844}, std::tuple{"phone-link", 390, 844}}) {
        Bitmap shot;
        const std::string path = shots + "/" + name + ".png";
        ASSERT_TRUE(fs::exists(path)) << name;
        decodeImage(readFile(path), path, shot, nullptr);
        EXPECT_EQ(shot.width(), width) << name;
        EXPECT_EQ(shot.height(), height) << name;
        // The scenes' sun: only a picture on screen paints it.
        int sun = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const Color c = shot.pixel(x, y);
                sun += c.r > 200 && c.g > 180 && c.b < 90;
            }
        EXPECT_GT(sun, 100) << name;
    }
}

} // namespace
} // namespace kestrix::test
