// Timelapses downloaded from the archive's site: movies and GIFs read back by ffprobe with one
// frame per picture of the span (or per day), every refusal with its status and reason, no way
// out of the archive, one movie made at a time with a few waiting for a bounded time, and no
// temporary file left behind whatever the outcome.
#include "core/movie/MovieTestSupport.h"
#include "web/ArchiveSiteSupport.h"

#include <atomic>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>

namespace kestrix::test {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::seconds kPatience{10};

web::PageReply ask(web::TimelapseDownload& downloads, const web::SiteSources& sources,
                   const std::string& query) {
    web::PageRequest request;
    request.method = "GET";
    request.path = web::kTimelapsePath;
    request.query = query;
    return downloads.answer(sources, request);
}

struct RefusedDownload {
    std::string query;
    int status;
    std::string reason;
};

std::string headerOf(const web::PageReply& reply, const std::string& name) {
    for (const auto& [field, value] : reply.headers)
        if (field == name)
            return value;
    return "(none)";
}

TEST(TimelapseDownload, SendsOneFramePerPictureOfTheSpanOrPerDay) {
    WeekArchive week;
    const SiteServer site(week.sources());
    struct Case {
        std::string query, type, name, codec, rate;
        int frames;
    };
    const Case cases[] = {
        {"link=Alps%2FEiger&from=2026-11-05&to=2026-11-06", "video/mp4",
         "Alps-Eiger-20261105-20261106.mp4", "h264", "24/1", 24},
        {"link=Harbour&from=2026-11-03T10:00&to=2026-11-03+12:00:30&fps=2", "video/mp4",
         "Harbour-20261103T1000-20261103T120030.mp4", "h264", "2/1", 9},
        {"link=Alps%2FMatterhorn&from=2026-11-01&to=2026-12-01&at=12%3A08", "video/mp4",
         "Alps-Matterhorn-20261101-20261201-at1208.mp4", "h264", "24/1", 7},
        // A day the span cuts chooses among its pictures in the span.
        {"link=Alps%2FEiger&from=2026-11-02T13:00&to=2026-11-05&at=07:00", "video/mp4",
         "Alps-Eiger-20261102T1300-20261105-at0700.mp4", "h264", "24/1", 3},
        {"link=Alps%2FEiger&from=2026-11-05T06:00&to=2026-11-05T09:00&format=gif&fps=4",
         "image/gif", "Alps-Eiger-20261105T0600-20261105T0900.gif", "gif", "4/1", 6},
    };
    for (const Case& c : cases) {
        const std::string response = site.get("/api/timelapse?" + c.query);
        ASSERT_EQ(statusOf(response), 200) << c.query << "\n" << bodyOf(response);
        EXPECT_EQ(fieldOf(response, "Content-Type"), c.type) << c.query;
        EXPECT_EQ(fieldOf(response, "Content-Disposition"),
                  "attachment; filename=\"" + c.name + "\"");
        const std::string movie = week.dir.file(c.name);
        writeFile(movie, bodyOf(response));
        auto stream = probeMovie(movie);
        EXPECT_EQ(stream["codec_name"], c.codec) << c.query;
        EXPECT_EQ(stream["r_frame_rate"], c.rate) << c.query;
        EXPECT_EQ(stream["nb_read_frames"], std::to_string(c.frames)) << c.query;
    }
}

TEST(TimelapseDownload, RefusesWhatItCannotMakeWithAReason) {
    WeekArchive week;
    // Eiger's folder moves out of the archive behind a link after the index has read it, and one
    // of Harbour's pictures becomes a link to a picture outside.
    const std::string outside = week.dir.file("outside");
    fs::rename(week.root + "/Alps/Eiger", outside);
    fs::create_directory_symlink(outside, week.root + "/Alps/Eiger");
    fs::remove(week.root + "/Harbour/20261103-100000.jpg");
    fs::create_symlink(outside + "/20261103-120000.jpg",
                       week.root + "/Harbour/20261103-100000.jpg");
    const SiteServer site(week.sources());

    const std::string day = "&from=2026-11-03&to=2026-11-04";
    const RefusedDownload refusals[] = {
        {"", 400, "Which link? Add ?link=FOLDER"},
        {"link=Nowhere" + day, 400, "No link \"Nowhere\" in this archive"},
        {"link=..%2Foutside" + day, 400, "No link \"../outside\" in this archive"},
        {"link=" + week.root + "%2FHarbour" + day, 400, "No link"},
        {"link=Alps%2F..%2FHarbour" + day, 400, "No link"},
        {"link=Alps" + day, 400, "No link \"Alps\" in this archive"},
        {"link=Alps%2FEiger" + day, 400, "The folder of Alps/Eiger is not inside the archive"},
        {"link=Harbour", 400, "Which span? Add &from=TIME&to=TIME"},
        {"link=Harbour&from=2026-13-01&to=2026-11-04", 400, "from= takes YYYY-MM-DD, "},
        {"link=Harbour&from=2026-11-03&to=2026-11-04T25:00", 400, "to= takes YYYY-MM-DD, "},
        {"link=Harbour&from=2026-11-03&to=2026-11-03", 400, "to= must be later than from="},
        {"link=Harbour&from=2025-11-03&to=2026-11-05", 400, "A timelapse spans at most 366 days"},
        {"link=Harbour&format=avi" + day, 400, "format= takes mp4 or gif, not \"avi\""},
        {"link=Harbour&at=24:00" + day, 400, "at= takes a time of day as HH:MM or HH:MM:SS"},
        {"link=Harbour&from=2025-12-24&to=2025-12-25", 404, "No pictures of Harbour in that span"},
        {"link=Harbour&from=2026-11-09&to=2028-11-09&at=12:00", 404, "No pictures of Harbour"},
    };
    for (const RefusedDownload& r : refusals) {
        const std::string response = site.get("/api/timelapse?" + r.query);
        EXPECT_EQ(statusOf(response), r.status) << r.query;
        EXPECT_EQ(fieldOf(response, "Content-Type"), "text/plain; charset=utf-8") << r.query;
        const std::string body = bodyOf(response);
        EXPECT_TRUE(body.starts_with(r.reason)) << r.query << ": " << body;
        EXPECT_EQ(body.find('\n'), body.size() - 1) << "one line: " << body;
    }
    for (const char* fps : {"0.4", "61", "abc", "1e1", "-2", "nan", "12.", ""})
        EXPECT_TRUE(bodyOf(site.get("/api/timelapse?link=Harbour" + day + "&fps=" + fps))
                        .starts_with("fps= takes a number from 0.5 to 60"))
            << fps;
    // The picture that leads out of the archive is left out.
    const std::string harbour = site.get("/api/timelapse?link=Harbour" + day);
    ASSERT_EQ(statusOf(harbour), 200);
    writeFile(week.dir.file("harbour.mp4"), bodyOf(harbour));
    EXPECT_EQ(probeMovie(week.dir.file("harbour.mp4"))["nb_read_frames"], "95");
}

// Refusals found only once the pictures are known or read; none leaves a file behind.
TEST(TimelapseDownload, LimitsAndFailuresLeaveNothingBehind) {
    TempDir dir("timelapse");
    const std::string root = dir.file("archive");
    ArchiveBuilder large(root, 4000, 3000);
    large.addLink("Large", kArchiveStart + 12 * 3600, kArchiveStart + 12 * 3600 + 480, 20, 9);
    ArchiveBuilder(root).addLink("Cam", kArchiveStart, kArchiveStart + 2 * kDaySeconds, 600, 40);
    fs::create_directories(root + "/Broken");
    for (const char* name : {"20261102-000000.jpg", "20261102-000100.jpg"})
        writeFile(root + "/Broken/" + name, "not a picture");
    ArchiveIndex index;
    scanArchive(index, root);
    web::SiteSources sources;
    sources.saveDir = root;
    sources.index = &index;
    const TempDir scratch("scratch");
    web::TimelapseLimits limits;
    limits.temporaryRoot = scratch.path();
    limits.maxPictures = 200;
    limits.maxMovieBytes = 2000;
    web::TimelapseDownload downloads(limits);

    const std::string span = "&from=2026-11-02&to=2026-11-04";
    const RefusedDownload refusals[] = {
        {"link=Cam" + span, 400, "The span holds more than 200 pictures"},
        {"link=Cam&from=2026-11-02&to=2026-11-03", 400,
         "The timelapse comes to more than 2000 bytes"},
        {"link=Large&format=gif" + span, 400,
         "A GIF of 24 pictures of 4000x3000 would hold 274 MiB of frames"},
        {"link=Broken" + span, 500,
         "Cannot make the timelapse: None of the 2 pictures could be read (20261102-000000.jpg: "},
    };
    for (const RefusedDownload& r : refusals) {
        const web::PageReply reply = ask(downloads, sources, r.query);
        EXPECT_EQ(reply.status, r.status) << r.query;
        EXPECT_TRUE(reply.body.starts_with(r.reason))
            << r.query << ": " << reply.body.substr(0, 200);
        EXPECT_TRUE(fs::is_empty(scratch.path())) << r.query;
    }

    // An index still reading the archive would give half a timelapse.
    ArchiveIndex reading;
    sources.index = &reading;
    sources.links = {{{}, "Cam", "Cam"}};
    const web::PageReply early = ask(downloads, sources, "link=Cam" + span);
    EXPECT_EQ(early.status, 503);
    EXPECT_EQ(headerOf(early, "Retry-After"), "10");
}

// One movie is being made (held by the test) and two wait their turn, while the site's other
// pages still answer; a fourth is refused at once. With a short wait, a waiting request gives up
// instead of holding its thread.
TEST(TimelapseDownload, OneIsMadeAtATimeAndAFewWaitForABoundedTime) {
    WeekArchive week;
    const TempDir scratch("scratch");
    const std::string day = getRequest("/api/timelapse?link=Harbour&from=2026-11-04&to=2026-11-05");
    for (const bool patient : {true, false}) {
        std::promise<void> entered, twoWaiting, release;
        const std::shared_future<void> released = release.get_future().share();
        std::atomic<int> turns{0};
        web::TimelapseHooks hooks;
        hooks.making = [&] {
            if (turns++ == 0) {
                entered.set_value();
                released.wait();
            }
        };
        hooks.waiting = [&](size_t waiting) {
            if (waiting == 2)
                twoWaiting.set_value();
        };
        web::TimelapseLimits limits;
        limits.temporaryRoot = scratch.path();
        limits.longestWait =
            patient ? std::chrono::milliseconds(60000) : std::chrono::milliseconds(50);
        const web::StatusSite site(week.sources(), limits, hooks);
        web::PageServer server([&](const web::PageRequest& r) { return site.answer(r); },
                               site.serverLimits());
        server.listen("127.0.0.1", 0);
        server.start();
        const auto request = [&] { return exchange(server.port(), day); };

        // Waits are bounded and failures only expected, so that the gate is always opened: a
        // test whose handler threads are all held fails instead of hanging.
        auto first = std::async(std::launch::async, request);
        EXPECT_EQ(entered.get_future().wait_for(kPatience), std::future_status::ready);
        if (patient) {
            auto second = std::async(std::launch::async, request);
            auto third = std::async(std::launch::async, request);
            EXPECT_EQ(twoWaiting.get_future().wait_for(kPatience), std::future_status::ready);
            EXPECT_EQ(statusOf(exchange(server.port(), getRequest("/"))), 200);
            EXPECT_EQ(statusOf(exchange(server.port(), getRequest("/api/days?link=Harbour"))), 200);
            const std::string busy = request();
            EXPECT_EQ(statusOf(busy), 503);
            EXPECT_EQ(bodyOf(busy), "Busy making another timelapse, with 2 waiting: try again in "
                                    "a minute\n");
            EXPECT_EQ(fieldOf(busy, "Retry-After"), "10");
            release.set_value();
            for (auto* waited : {&first, &second, &third})
                EXPECT_EQ(statusOf(waited->get()), 200);
            EXPECT_EQ(turns, 3);
        } else {
            const std::string gaveUp = request();
            EXPECT_EQ(statusOf(gaveUp), 503);
            EXPECT_EQ(bodyOf(gaveUp),
                      "Waited 1 s for other timelapses to be made: try again later\n");
            release.set_value();
            EXPECT_EQ(statusOf(first.get()), 200);
            EXPECT_EQ(turns, 1);
        }
        EXPECT_TRUE(fs::is_empty(scratch.path()));
    }
}

TEST(TimelapseDownload, StoppingGivesUpTheMovieInProgressAndEveryWaitingOne) {
    WeekArchive week;
    const TempDir scratch("scratch");
    const std::string day = getRequest("/api/timelapse?link=Harbour&from=2026-11-04&to=2026-11-05");
    std::promise<void> entered, oneWaiting, release;
    const std::shared_future<void> released = release.get_future().share();
    web::TimelapseHooks hooks;
    hooks.making = [&] {
        entered.set_value();
        released.wait();
    };
    hooks.waiting = [&](size_t waiting) {
        if (waiting == 1)
            oneWaiting.set_value();
    };
    web::TimelapseLimits limits;
    limits.temporaryRoot = scratch.path();
    const web::StatusSite site(week.sources(), limits, hooks);
    web::PageServer server([&](const web::PageRequest& r) { return site.answer(r); },
                           site.serverLimits());
    server.listen("127.0.0.1", 0);
    server.start();
    const auto request = [&] { return exchange(server.port(), day); };
    auto first = std::async(std::launch::async, request);
    EXPECT_EQ(entered.get_future().wait_for(kPatience), std::future_status::ready);
    auto second = std::async(std::launch::async, request);
    EXPECT_EQ(oneWaiting.get_future().wait_for(kPatience), std::future_status::ready);

    site.stopDownloads();
    // The waiting request is answered at once, before the movie in progress reaches its next
    // frame; that one gives up there.
    EXPECT_EQ(second.wait_for(kPatience), std::future_status::ready);
    const std::string waited = second.get();
    EXPECT_EQ(statusOf(waited), 503);
    EXPECT_EQ(bodyOf(waited), "The server is stopping\n");
    release.set_value();
    EXPECT_EQ(statusOf(first.get()), 503);
    EXPECT_EQ(statusOf(request()), 503);
    server.stop();
    EXPECT_TRUE(fs::is_empty(scratch.path()));
}

} // namespace
} // namespace kestrix::test
