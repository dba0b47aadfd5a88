// Every crash-safe writer killed at each step of a save: the target is always the old file or the
// new one, complete; nothing is left beside it but hidden temporaries, and the next save into the
// folder removes those once they are an hour old.
#include "support/KillMatrix.h"

#include "core/frames/BitmapList.h"
#include "core/frames/FramesFile.h"
#include "core/gif/AnimatedGifWriter.h"
#include "core/image/BmpCodec.h"
#include "core/image/ImageFile.h"
#include "core/links/LinkLibrary.h"
#include "core/movie/MovieExport.h"
#include "core/settings/IniFile.h"
#include "core/util/AtomicFile.h"
#include "core/util/FileIO.h"
#include "support/Child.h"
#include "support/ImageBuilders.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <filesystem>
#include <set>
#include <utime.h>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

struct Writer {
    const char* name;
    const char* file;
    std::function<void(const std::string& path)> save;
    // Other files the folder holds before a save (link backups), kept or turned by it.
    std::vector<std::string> companions = {};
};

const BitmapList& someFrames() {
    static BitmapList frames;
    if (frames.count() == 0)
        for (int i = 0; i < 3; ++i)
            frames.add(detailedFrame(40, 30, i));
    return frames;
}

const std::string kLinkFile =
    "<ImageAddressXML KSX=\"1.0\">\r\n  <FolderItem FolderName=\"Cams\">\r\n    <URLItem "
    "URLName=\"A\" URLAddress=\"http://a/x.jpg\" URLDelay=\"60\" Selected=\"yes\"/>\r\n  "
    "</FolderItem>\r\n</ImageAddressXML>\r\n";

std::vector<Writer> writers() {
    return {
        {"frames file", "shots.ifrm",
         [](const std::string& path) { saveToFile(someFrames(), path, nullptr); }},
        {"link file with backups",
         "links.klnx",
         [](const std::string& path) {
             ScriptedDialogs dialogs;
             LinkLibrary library(dialogs);
             library.loadLinksFromStream(kLinkFile);
             library.saveLinkFile(path);
         },
         {"links.bk1", "links.bk2", "links.bk3", "links.bk4", "links.bk5"}},
        {"settings file", "ksx.ini",
         [](const std::string& path) {
             IniFile ini(path);
             ini.parse("[AVI]\nQuality=5000\n[Sampling]\nTimeOut=30\n");
             ini.save();
         }},
        {"animated GIF", "anim.gif",
         [](const std::string& path) { exportAnimatedGif(path, someFrames(), 100, nullptr); }},
        {"AVI movie", "movie.avi",
         [](const std::string& path) { exportAvi(path, someFrames(), 10, 9000, nullptr); }},
        {"MP4 movie", "movie.mp4",
         [](const std::string& path) {
             exportMovie(MovieFormat::Mp4, path, someFrames(), {10, 6500, false}, nullptr);
         }},
        {"picture streamed in pieces", "frame-000001.bmp",
         [](const std::string& path) { saveBmpFile(rampBitmap(800, 600), path); }},
        {"PNG picture", "frame.png",
         [](const std::string& path) { savePngFile(rampBitmap(1200, 900), path); }},
        {"JPEG picture", "frame.jpg",
         [](const std::string& path) { saveJpegFile(rampBitmap(1200, 900), path, 90); }},
    };
}

void resetFolder(const std::string& dir, const Writer& writer) {
    for (const auto& entry : fs::directory_iterator(dir))
        fs::remove(entry.path());
    writeFile(dir + "/" + writer.file, "old file");
    for (const std::string& companion : writer.companions)
        writeFile(dir + "/" + companion, "old " + companion);
}

// The names in the folder other than the target and its companions.
std::vector<std::string> strays(const std::string& dir, const Writer& writer) {
    std::set<std::string> known(writer.companions.begin(), writer.companions.end());
    known.insert(writer.file);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        if (!known.count(entry.path().filename().string()))
            names.push_back(entry.path().filename().string());
    return names;
}

void makeHoursOld(const std::string& path) {
    const time_t then = time(nullptr) - 2 * 3600;
    const utimbuf times{then, then};
    utime(path.c_str(), &times);
}

} // namespace

TEST(KillMatrix, EveryWriterLeavesTheOldOrTheNewFile) {
    for (const Writer& writer : writers()) {
        SCOPED_TRACE(writer.name);
        TempDir reference("kill-ref");
        writer.save(reference.file(writer.file));
        const std::string newBytes = readFile(reference.file(writer.file));
        ASSERT_FALSE(newBytes.empty());

        TempDir dir("kill");
        const std::string target = dir.file(writer.file);
        resetFolder(dir.path(), writer);
        int leftovers = 0;
        const int steps = killAtEveryStep(
            [&] { writer.save(target); },
            [&](int step) {
                SCOPED_TRACE(step);
                ASSERT_TRUE(fs::exists(target));
                const std::string bytes = readFile(target);
                EXPECT_TRUE(bytes == "old file" || bytes == newBytes)
                    << "target of " << bytes.size() << " bytes";
                for (const std::string& name : strays(dir.path(), writer)) {
                    EXPECT_TRUE(isAtomicTemporaryName(name)) << name;
                    makeHoursOld(dir.file(name));
                    ++leftovers;
                }
                if (!strays(dir.path(), writer).empty()) {
                    // The next save into the folder, in a process of its own, clears them.
                    EXPECT_TRUE(inChild([&] {
                        writer.save(target);
                        return true;
                    }));
                    EXPECT_EQ(strays(dir.path(), writer), std::vector<std::string>{});
                    EXPECT_EQ(readFile(target), newBytes);
                }
                resetFolder(dir.path(), writer);
            });
        EXPECT_GE(steps, 4) << "every save has at least a write, a sync, a link and a rename";
        // Only the named temporaries of movies that are reopened by name stay visible while
        // being written; others show up at most between their link and their rename.
        if (std::string(writer.file) != "movie.mp4") {
            EXPECT_LE(leftovers, 1);
        }
    }
}

// Killed anywhere in the rotation, the link file itself is there: old before the new file is
// renamed over it, new after.
TEST(KillMatrix, LinkBackupsTurnWithoutEverLosingTheLinkFile) {
    const Writer writer = writers()[1];
    TempDir reference("kill-ref");
    writer.save(reference.file("links.klnx"));
    const std::string newBytes = readFile(reference.file("links.klnx"));
    TempDir dir("kill");
    resetFolder(dir.path(), writer);
    std::vector<std::string> seen;
    killAtEveryStep([&] { writer.save(dir.file("links.klnx")); },
                    [&](int) {
                        seen.push_back(readFile(dir.file("links.klnx")));
                        resetFolder(dir.path(), writer);
                    });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(newBytes, kLinkFile);
    EXPECT_EQ(seen.front(), "old file");
    EXPECT_EQ(seen.back(), newBytes) << "killed only after the rename: the folder sync";
    resetFolder(dir.path(), writer);
    writer.save(dir.file("links.klnx"));
    EXPECT_EQ(readFile(dir.file("links.bk1")), "old file");
    EXPECT_EQ(readFile(dir.file("links.bk2")), "old links.bk1");
    EXPECT_EQ(readFile(dir.file("links.bk5")), "old links.bk4");
}
