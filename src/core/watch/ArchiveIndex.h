// The archive's pictures held in memory, so that retention costs what it deletes instead of a walk
// of the whole archive: one scan at start, then the watcher reports each picture it writes.
#pragma once

#include "core/watch/PictureArchive.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrix {

// Safe to share between the scanning thread, the fetching threads, the retention thread and the
// status page. Folders are named relative to the root, '/'-separated ("Volcanos/Etna"; "" is the
// root itself). Only names isArchivePictureName accepts are indexed, except those whose -N has a
// leading zero or exceeds 32766, which the watcher never writes and an index entry could not name
// again exactly: such files are neither counted nor deleted.
class ArchiveIndex {
public:
    // Reads every picture below `root` once, skipping hidden folders (the watcher's own state),
    // unreadable folders and symbolic links. Answers early when `stop` is set; the index then
    // stays not ready, so retention never acts on half an archive.
    void scan(const std::string& root, const std::atomic<bool>& stop);
    bool ready() const;

    // A picture was just written. Reporting one the scan also finds (or reporting it twice) keeps
    // it once.
    void added(const std::string& folder, std::string_view name, uint64_t bytes);

    // Deletes the pictures older than keepDays by the UTC time in their names, then the oldest of
    // all folders until the pictures take at most maxBytes (0: no limit). Does nothing before the
    // scan is ready. A picture already gone is forgotten; one that cannot be deleted stays counted
    // but leaves retention until the next scan, and its bytes are not held against maxBytes, so
    // it neither stalls retention nor costs a younger picture its place. A deleted picture's
    // thumbnail (core/watch/Thumbnails.h) goes with it.
    RetentionResult apply(const RetentionRule& rule, std::time_t now);

    uint64_t totalBytes() const;
    uint64_t fileCount() const;

    // The newest picture of `folder` as a path relative to the root ("Volcanos/Etna/NAME").
    std::optional<std::string> newest(const std::string& folder) const;

    // What the archive's pages ask. A day is the YYYYMMDD of the names, as written (UTC); file
    // names come back as the watcher wrote them. The pictures retention is deleting, and those
    // it could not delete, are left out.

    // Folders holding at least one picture, in byte order.
    std::vector<std::string> folders() const;

    struct FolderSummary {
        uint64_t pictures = 0;
        std::string newest; // file name; "" without pictures
    };
    FolderSummary summary(const std::string& folder) const;

    struct DayCount {
        uint32_t day; // YYYYMMDD
        uint32_t pictures;
    };
    // The folder's days that hold pictures, oldest first.
    std::vector<DayCount> days(const std::string& folder) const;

    // The file names of the day's pictures, oldest first.
    std::vector<std::string> picturesOfDay(const std::string& folder, uint32_t day) const;

    // For every day of the folder, the picture whose time of day is nearest to `secondOfDay`
    // (0-86399), the earlier on a tie; oldest day first. Only that day's pictures are looked
    // at, so each day answers with one of its own.
    std::vector<std::string> nearestEachDay(const std::string& folder, int secondOfDay) const;

private:
    // 16 bytes a picture: `key` orders pictures by age with one comparison and rebuilds the file
    // name (see pictureKey in the .cpp). A folder's deque grows in 512-byte blocks, adding about
    // 5%.
    struct Picture {
        uint64_t key;
        uint64_t bytes;
    };
    // Pictures sorted oldest first, each key once. `stuck` holds those that could not be deleted.
    struct Folder {
        std::string path;
        std::deque<Picture> pictures;
        std::vector<Picture> stuck;
    };
    // A picture taken out of its folder for deletion outside the lock.
    struct Deletion {
        uint32_t folder;
        Picture picture;
        std::string path;
        std::string thumbnail; // deleted with the picture
        int error = 0;
    };

    // Reads one folder: its pictures into `found`, its sub-folders onto `pending`. False when
    // stopped.
    static bool readFolder(const std::string& root, const std::string& folder,
                           const std::atomic<bool>& stop, std::vector<Picture>& found,
                           std::vector<std::string>& pending);
    uint32_t folderId(const std::string& path);
    // The folder's pictures (the lock held); null for a folder the index does not know.
    const std::deque<Picture>* picturesOf(const std::string& folder) const;
    // Inserts into `folder` (the lock held); false when the key is there already.
    bool insert(uint32_t folder, const Picture& picture);
    void mergeScanned(const std::string& folder, std::vector<Picture>& found);
    void reorder(uint32_t folder, std::optional<uint64_t> oldFront);
    std::vector<Deletion> takeDeletions(uint64_t maxBytes, uint64_t oldestKept);
    void settle(std::vector<Deletion>& deletions, RetentionResult& result);

    mutable std::mutex mutex_;
    std::string root_;
    bool ready_ = false;
    // Deque, so that a folder's path stays put and `ids_` may view it.
    std::deque<Folder> folders_;
    std::unordered_map<std::string_view, uint32_t> ids_;
    // Every folder with pictures, by the key of its oldest: the global oldest is the first.
    std::set<std::pair<uint64_t, uint32_t>> oldest_;
    uint64_t totalBytes_ = 0;
    uint64_t fileCount_ = 0;
    uint64_t stuckBytes_ = 0;
    // Taken out for deletion, still on disk and still in the totals until settled.
    uint64_t pendingBytes_ = 0;
};

} // namespace kestrix
