#include "core/watch/ArchiveIndex.h"

#include "core/util/FileIO.h"
#include "core/watch/Thumbnails.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <limits>
#include <memory>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix {

namespace {

// A picture's key, one 64-bit integer:
//   bits 63-17  the name's 14 digits YYYYMMDDHHMMSS as one decimal number (< 10^14 < 2^47)
//   bits 16-2   0 for a name without -N, else N + 1
//   bits 1-0    the extension, an index into kExtensions
// Integer order is age order: by second, the plain name before -0, -1, -2, ... The digits are
// kept as written rather than converted to seconds since 1970, because a conversion would turn a
// name with an impossible date (month 13) into another name, and retention would miss the file.
constexpr int kStampShift = 17;
constexpr int kSuffixShift = 2;
constexpr uint64_t kSuffixMask = (1u << (kStampShift - kSuffixShift)) - 1;
constexpr uint64_t kMaxSuffix = kSuffixMask - 1;
constexpr const char* kExtensions[] = {"jpg", "png", "gif", "bmp"};

// The unlinks of one batch run outside the lock, so fetching threads wait at most for one batch.
constexpr size_t kDeletionBatch = 256;

// Seconds of 0000-01-01 and 10000-01-01 00:00 UTC: the first and last second a name can carry.
constexpr double kFirstNameSecond = -62167219200.0;
constexpr double kAfterLastNameSecond = 253402300800.0;

uint64_t digitsValue(std::string_view digits) {
    uint64_t value = 0;
    for (const char c : digits)
        value = value * 10 + static_cast<uint64_t>(c - '0');
    return value;
}

std::optional<uint64_t> pictureKey(std::string_view name) {
    if (!isArchivePictureName(name))
        return std::nullopt;
    const size_t dot = name.rfind('.');
    uint64_t suffix = 0;
    if (dot > 15) {
        const std::string_view n = name.substr(16, dot - 16);
        // "-02" would come back as "-2", and digits beyond five overflow the field.
        if ((n.size() > 1 && n.front() == '0') || n.size() > 5 || digitsValue(n) > kMaxSuffix)
            return std::nullopt;
        suffix = digitsValue(n) + 1;
    }
    const std::string_view extension = name.substr(dot + 1);
    const auto kind =
        static_cast<uint64_t>(std::find(std::begin(kExtensions), std::end(kExtensions), extension) -
                              std::begin(kExtensions));
    const uint64_t stamp =
        digitsValue(name.substr(0, 8)) * 1000000 + digitsValue(name.substr(9, 6));
    return stamp << kStampShift | suffix << kSuffixShift | kind;
}

std::string pictureName(uint64_t key) {
    const uint64_t stamp = key >> kStampShift;
    const uint64_t suffix = (key >> kSuffixShift) & kSuffixMask;
    const auto date = static_cast<unsigned long long>(stamp / 1000000);
    const auto time = static_cast<unsigned long long>(stamp % 1000000);
    char name[48];
    if (suffix == 0)
        std::snprintf(name, sizeof name, "%08llu-%06llu.%s", date, time, kExtensions[key & 3]);
    else
        std::snprintf(name, sizeof name, "%08llu-%06llu-%llu.%s", date, time,
                      static_cast<unsigned long long>(suffix - 1), kExtensions[key & 3]);
    return name;
}

// The smallest key of the pictures that are not older than keepDays at `now`.
uint64_t oldestKeptKey(double keepDays, std::time_t now) {
    if (!(keepDays > 0))
        return 0;
    const double cutoff = static_cast<double>(now) - keepDays * 86400;
    if (!(cutoff > kFirstNameSecond))
        return 0;
    if (cutoff >= kAfterLastNameSecond)
        return std::numeric_limits<uint64_t>::max();
    const auto second = static_cast<std::time_t>(std::llround(cutoff));
    std::tm utc{};
    gmtime_r(&second, &utc);
    const uint64_t date =
        (static_cast<uint64_t>(utc.tm_year + 1900) * 100 + static_cast<uint64_t>(utc.tm_mon + 1)) *
            100 +
        static_cast<uint64_t>(utc.tm_mday);
    const uint64_t time =
        (static_cast<uint64_t>(utc.tm_hour) * 100 + static_cast<uint64_t>(utc.tm_min)) * 100 +
        static_cast<uint64_t>(utc.tm_sec);
    return (date * 1000000 + time) << kStampShift;
}

// "Volcanos//Etna/" and "./Volcanos/Etna" are the scan's "Volcanos/Etna". A folder outside the
// root, or hidden as the scan never enters, is not the archive's.
std::optional<std::string> normalFolder(std::string_view folder) {
    if (!folder.empty() && folder.front() == '/')
        return std::nullopt;
    std::string path;
    while (!folder.empty()) {
        const size_t slash = folder.find('/');
        const std::string_view part = folder.substr(0, slash);
        folder = slash == std::string_view::npos ? std::string_view() : folder.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part.front() == '.')
            return std::nullopt;
        if (!path.empty())
            path += '/';
        path += part;
    }
    return path;
}

template <class Pictures> std::optional<uint64_t> oldestOf(const Pictures& pictures) {
    return pictures.empty() ? std::nullopt : std::optional<uint64_t>(pictures.front().key);
}

std::string inFolder(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

// YYYYMMDD and HHMMSS of a key, as the name writes them.
uint64_t dayOf(uint64_t key) {
    return (key >> kStampShift) / 1000000;
}
uint64_t timeOf(uint64_t key) {
    return (key >> kStampShift) % 1000000;
}
uint64_t firstKeyOfDay(uint64_t day) {
    return (day * 1000000) << kStampShift;
}
int secondsOfTime(uint64_t hhmmss) {
    return static_cast<int>(hhmmss / 10000 * 3600 + hhmmss / 100 % 100 * 60 + hhmmss % 100);
}

template <class Iterator> Iterator firstAtOrAfter(Iterator begin, Iterator end, uint64_t key) {
    return std::lower_bound(begin, end, key,
                            [](const auto& picture, uint64_t k) { return picture.key < k; });
}

} // namespace

bool ArchiveIndex::readFolder(const std::string& root, const std::string& folder,
                              const std::atomic<bool>& stop, std::vector<Picture>& found,
                              std::vector<std::string>& pending) {
    // The root may be a link (a save folder moved to another disk); below it no link is followed,
    // so retention never reaches out of the archive.
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder.empty() ? 0 : O_NOFOLLOW);
    const int fd = ::open((folder.empty() ? root : root + "/" + folder).c_str(), flags);
    if (fd < 0)
        return true;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
    if (!dir) {
        ::close(fd);
        return true;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        const std::string_view name = entry->d_name;
        // ".", ".." and the watcher's hidden folders; no picture name starts with a dot.
        if (name.front() == '.')
            continue;
        unsigned char type = entry->d_type;
        struct stat st {};
        bool known = false;
        if (type == DT_UNKNOWN) {
            if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            known = true;
        }
        if (type == DT_DIR) {
            pending.push_back(inFolder(folder, entry->d_name));
            continue;
        }
        const auto key = type == DT_REG ? pictureKey(name) : std::nullopt;
        if (key && (known || ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) &&
            S_ISREG(st.st_mode))
            found.push_back({*key, static_cast<uint64_t>(st.st_size)});
    }
    return true;
}

void ArchiveIndex::scan(const std::string& root, const std::atomic<bool>& stop) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        root_ = root;
    }
    // Only folders wait here, never files: memory follows the number of folders and the size of
    // the largest one.
    std::vector<std::string> pending{std::string()};
    std::vector<Picture> found;
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        found.clear();
        if (!readFolder(root, folder, stop, found, pending))
            return;
        mergeScanned(folder, found);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    ready_ = true;
}

bool ArchiveIndex::ready() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return ready_;
}

uint32_t ArchiveIndex::folderId(const std::string& path) {
    if (const auto it = ids_.find(path); it != ids_.end())
        return it->second;
    const auto id = static_cast<uint32_t>(folders_.size());
    folders_.push_back({path, {}, {}});
    ids_.emplace(folders_.back().path, id);
    return id;
}

void ArchiveIndex::reorder(uint32_t id, std::optional<uint64_t> oldFront) {
    const std::optional<uint64_t> front = oldestOf(folders_[id].pictures);
    if (front == oldFront)
        return;
    if (oldFront)
        oldest_.erase({*oldFront, id});
    if (front)
        oldest_.insert({*front, id});
}

void ArchiveIndex::mergeScanned(const std::string& folder, std::vector<Picture>& found) {
    const auto byKey = [](const Picture& a, const Picture& b) { return a.key < b.key; };
    std::sort(found.begin(), found.end(), byKey);
    const auto sum = [](uint64_t total, const Picture& p) { return total + p.bytes; };
    const std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t id = folderId(folder);
    Folder& f = folders_[id];
    const std::optional<uint64_t> oldFront = oldestOf(f.pictures);
    // Pictures that could not be deleted go back to retention if the scan finds them again.
    const uint64_t stuckBytes = std::accumulate(f.stuck.begin(), f.stuck.end(), uint64_t{0}, sum);
    stuckBytes_ -= stuckBytes;
    totalBytes_ -= stuckBytes;
    fileCount_ -= f.stuck.size();
    f.stuck.clear();
    // Pictures reported by added() while the scan ran are found again: the union keeps them once.
    std::deque<Picture> merged;
    std::set_union(f.pictures.begin(), f.pictures.end(), found.begin(), found.end(),
                   std::back_inserter(merged), byKey);
    totalBytes_ += std::accumulate(merged.begin(), merged.end(), uint64_t{0}, sum) -
                   std::accumulate(f.pictures.begin(), f.pictures.end(), uint64_t{0}, sum);
    fileCount_ += merged.size() - f.pictures.size();
    f.pictures = std::move(merged);
    reorder(id, oldFront);
}

bool ArchiveIndex::insert(uint32_t id, const Picture& picture) {
    std::deque<Picture>& pictures = folders_[id].pictures;
    // Nearly always the newest of its folder.
    if (pictures.empty() || pictures.back().key < picture.key) {
        pictures.push_back(picture);
        return true;
    }
    const auto at = std::lower_bound(pictures.begin(), pictures.end(), picture.key,
                                     [](const Picture& p, uint64_t key) { return p.key < key; });
    if (at != pictures.end() && at->key == picture.key)
        return false;
    pictures.insert(at, picture);
    return true;
}

void ArchiveIndex::added(const std::string& folder, std::string_view name, uint64_t bytes) {
    const std::optional<uint64_t> key = pictureKey(name);
    const std::optional<std::string> path = normalFolder(folder);
    if (!key || !path)
        return;
    const std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t id = folderId(*path);
    const std::optional<uint64_t> oldFront = oldestOf(folders_[id].pictures);
    if (!insert(id, {*key, bytes}))
        return;
    totalBytes_ += bytes;
    ++fileCount_;
    reorder(id, oldFront);
}

std::vector<ArchiveIndex::Deletion> ArchiveIndex::takeDeletions(uint64_t maxBytes,
                                                                uint64_t oldestKept) {
    std::vector<Deletion> taken;
    const std::lock_guard<std::mutex> lock(mutex_);
    while (ready_ && taken.size() < kDeletionBatch && !oldest_.empty()) {
        const auto [key, id] = *oldest_.begin();
        const uint64_t held = totalBytes_ - stuckBytes_ - pendingBytes_;
        if (key >= oldestKept && (maxBytes == 0 || held <= maxBytes))
            break;
        Folder& folder = folders_[id];
        const Picture picture = folder.pictures.front();
        folder.pictures.pop_front();
        reorder(id, key);
        pendingBytes_ += picture.bytes;
        const std::string relative = inFolder(folder.path, pictureName(key));
        taken.push_back({id, picture, root_ + "/" + relative, thumbnailPath(root_, relative)});
    }
    return taken;
}

void ArchiveIndex::settle(std::vector<Deletion>& deletions, RetentionResult& result) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const Deletion& d : deletions) {
        pendingBytes_ -= d.picture.bytes;
        const bool gone = d.error == 0 || d.error == ENOENT || d.error == ENOTDIR;
        if (!gone) {
            folders_[d.folder].stuck.push_back(d.picture);
            stuckBytes_ += d.picture.bytes;
            if (result.failedFiles++ == 0)
                result.firstFailure = d.path + ": " + systemErrorText(d.error);
            continue;
        }
        totalBytes_ -= d.picture.bytes;
        --fileCount_;
        if (d.error == 0) {
            ++result.deletedFiles;
            result.deletedBytes += d.picture.bytes;
        }
    }
}

RetentionResult ArchiveIndex::apply(const RetentionRule& rule, std::time_t now) {
    RetentionResult result;
    const uint64_t oldestKept = oldestKeptKey(rule.keepDays, now);
    for (std::vector<Deletion> batch = takeDeletions(rule.maxBytes, oldestKept); !batch.empty();
         batch = takeDeletions(rule.maxBytes, oldestKept)) {
        for (Deletion& d : batch) {
            d.error = ::unlink(d.path.c_str()) == 0 ? 0 : errno;
            // A thumbnail that never was, or one that stays behind, costs nothing but its bytes.
            if (d.error == 0 || d.error == ENOENT || d.error == ENOTDIR)
                ::unlink(d.thumbnail.c_str());
        }
        settle(batch, result);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    result.keptBytes = totalBytes_;
    return result;
}

uint64_t ArchiveIndex::totalBytes() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return totalBytes_;
}

uint64_t ArchiveIndex::fileCount() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return fileCount_;
}

std::optional<std::string> ArchiveIndex::newest(const std::string& folder) const {
    const std::optional<std::string> path = normalFolder(folder);
    if (!path)
        return std::nullopt;
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = ids_.find(*path);
    if (it == ids_.end())
        return std::nullopt;
    const Folder& f = folders_[it->second];
    std::optional<uint64_t> newest;
    if (!f.pictures.empty())
        newest = f.pictures.back().key;
    for (const Picture& p : f.stuck)
        newest = std::max(newest.value_or(0), p.key);
    if (!newest)
        return std::nullopt;
    return inFolder(f.path, pictureName(*newest));
}

const std::deque<ArchiveIndex::Picture>* ArchiveIndex::picturesOf(const std::string& folder) const {
    const std::optional<std::string> path = normalFolder(folder);
    if (!path)
        return nullptr;
    const auto it = ids_.find(*path);
    return it == ids_.end() ? nullptr : &folders_[it->second].pictures;
}

std::vector<std::string> ArchiveIndex::folders() const {
    std::vector<std::string> found;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const Folder& f : folders_)
            if (!f.pictures.empty())
                found.push_back(f.path);
    }
    std::sort(found.begin(), found.end());
    return found;
}

ArchiveIndex::FolderSummary ArchiveIndex::summary(const std::string& folder) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::deque<Picture>* pictures = picturesOf(folder);
    if (!pictures || pictures->empty())
        return {};
    return {pictures->size(), pictureName(pictures->back().key)};
}

std::vector<ArchiveIndex::DayCount> ArchiveIndex::days(const std::string& folder) const {
    std::vector<DayCount> found;
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::deque<Picture>* pictures = picturesOf(folder);
    if (!pictures)
        return found;
    // One search per day, not a step per picture: a folder of a year at one picture a second
    // answers in a few hundred searches.
    for (auto it = pictures->begin(); it != pictures->end();) {
        const uint64_t day = dayOf(it->key);
        const auto next = firstAtOrAfter(it, pictures->end(), firstKeyOfDay(day + 1));
        found.push_back({static_cast<uint32_t>(day), static_cast<uint32_t>(next - it)});
        it = next;
    }
    return found;
}

std::vector<std::string> ArchiveIndex::picturesOfDay(const std::string& folder,
                                                     uint32_t day) const {
    std::vector<std::string> names;
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::deque<Picture>* pictures = picturesOf(folder);
    if (!pictures)
        return names;
    const auto end = firstAtOrAfter(pictures->begin(), pictures->end(), firstKeyOfDay(day + 1));
    auto it = firstAtOrAfter(pictures->begin(), end, firstKeyOfDay(day));
    names.reserve(static_cast<size_t>(end - it));
    for (; it != end; ++it)
        names.push_back(pictureName(it->key));
    return names;
}

std::vector<std::string> ArchiveIndex::nearestEachDay(const std::string& folder,
                                                      int secondOfDay) const {
    std::vector<std::string> names;
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::deque<Picture>* pictures = picturesOf(folder);
    if (!pictures)
        return names;
    const auto wanted = static_cast<uint64_t>(std::clamp(secondOfDay, 0, 86399));
    const uint64_t hhmmss = wanted / 3600 * 10000 + wanted / 60 % 60 * 100 + wanted % 60;
    for (auto begin = pictures->begin(); begin != pictures->end();) {
        const uint64_t day = dayOf(begin->key);
        const auto end = firstAtOrAfter(begin, pictures->end(), firstKeyOfDay(day + 1));
        auto at = firstAtOrAfter(begin, end, firstKeyOfDay(day) + (hhmmss << kStampShift));
        if (at == end ||
            (at != begin && static_cast<int>(wanted) - secondsOfTime(timeOf(std::prev(at)->key)) <=
                                secondsOfTime(timeOf(at->key)) - static_cast<int>(wanted)))
            at = std::prev(at);
        names.push_back(pictureName(at->key));
        begin = end;
    }
    return names;
}

} // namespace kestrix
