#include "core/frames/FramesFile.h"

#include "core/image/BmpCodec.h"
#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/Parallel.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix {

namespace {

std::string int32Bytes(int32_t v) {
    std::string out;
    putU32(out, static_cast<uint32_t>(v));
    return out;
}

int percent(int32_t i, int32_t count) {
    return static_cast<int>(std::nearbyint(100.0 * i / count));
}

} // namespace

FramesFileWriter::~FramesFileWriter() = default;

void FramesFileWriter::open(const std::string& fileName) {
    fileName_ = fileName;
    open_ = file_.create(fileName) == 0;
    if (!open_)
        throw Error("Cannot create file " + fileName, ErrorKind::FileCreate);
    count = 0;
    failed_ = false;
}

void FramesFileWriter::write(const std::string& bytes) {
    if (file_.write(bytes) != 0)
        throw Error("Out Of Disk Space");
}

void FramesFileWriter::addFrame(const Bitmap& bitmap) {
    if (!open_)
        throw Error("File not open");
    try {
        if (count == 0)
            write(int32Bytes(0));
        const std::string image = bitmap.empty() ? std::string() : writeBmp(bitmap);
        write(int32Bytes(static_cast<int32_t>(image.size())));
        write(image);
    } catch (...) {
        failed_ = true;
        throw;
    }
    ++count;
}

void FramesFileWriter::close() {
    if (!open_)
        return;
    open_ = false;
    // Frames that failed to write leave bytes behind the last complete one; the count at the
    // start keeps readers away from them.
    const bool countWritten = file_.writeAt(int32Bytes(count), 0) == 0;
    if (!countWritten || (failed_ && fileExists(fileName_))) {
        file_.discard();
        if (!countWritten)
            throw Error("Out Of Disk Space");
        return;
    }
    if (const int err = file_.commit()) {
        if (err == ENOSPC || err == EDQUOT)
            throw Error("Out Of Disk Space");
        throw Error("Cannot create file " + fileName_, ErrorKind::FileCreate);
    }
}

namespace {

// Reads exactly `size` bytes at `offset`; false when the file ends first or reading fails.
bool readAt(int fd, void* into, size_t size, uint64_t offset) {
    auto* at = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t got = ::pread(fd, at, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        at += got;
        size -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

int32_t int32At(const unsigned char bytes[4]) {
    return static_cast<int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                static_cast<uint32_t>(bytes[3]) << 24);
}

} // namespace

void FramesFileReader::open(const std::string& fileName) {
    close();
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
        close();
        throw Error("Cannot open file " + fileName, ErrorKind::FileOpen);
    }
    size_ = static_cast<uint64_t>(st.st_size);
    unsigned char header[4] = {};
    count = size_ >= 4 && readAt(fd_, header, 4, 0) ? int32At(header) : 0;
    rewind();
}

void FramesFileReader::rewind() {
    position_ = std::min<uint64_t>(size_, 4);
}

bool FramesFileReader::nextRecord(Record& record) {
    if (fd_ < 0)
        throw Error("File not open");
    const uint64_t at = position_;
    if (at >= size_)
        return false;
    unsigned char length[4];
    if (size_ - at < 4 || !readAt(fd_, length, 4, at))
        throwStreamRead();
    const int32_t s = int32At(length);
    if (s < 0)
        throw Error("Bitmap image is not valid", ErrorKind::InvalidImage);
    if (static_cast<uint64_t>(s) > size_ - at - 4)
        throwStreamRead();
    record = {at + 4, static_cast<uint32_t>(s)};
    position_ = at + 4 + static_cast<uint64_t>(s);
    return true;
}

void FramesFileReader::readRecord(const Record& record, Bitmap& bitmap, std::string& buffer) const {
    if (record.size == 0) {
        bitmap = Bitmap();
        return;
    }
    // One read per record into memory kept for the next: only a larger record than all before
    // needs fresh memory.
    buffer.resize(record.size);
    if (record.size < 14 || !readAt(fd_, buffer.data(), buffer.size(), record.offset)) {
        bitmap = Bitmap();
        throwStreamRead();
    }
    readBmpInto(buffer, bitmap);
}

bool FramesFileReader::readFrame(Bitmap& bitmap) {
    Record record;
    if (!nextRecord(record))
        return false;
    readRecord(record, bitmap, buffer_);
    return true;
}

void FramesFileReader::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

SaveOutcome saveToFile(const BitmapList& frames, const std::string& fileName,
                       const PercentCallback& progress) {
    FramesFileWriter film;
    film.open(fileName);
    SaveOutcome outcome = SaveOutcome::Complete;
    const int32_t count = frames.count();
    for (int32_t i = 0; i < count; ++i) {
        try {
            film.addFrame(*frames.get(i));
        } catch (const Error&) {
            outcome = SaveOutcome::OutOfDiskSpace;
            break;
        }
        if (progress)
            progress(percent(i, count));
    }
    try {
        film.close();
    } catch (const Error&) {
        outcome = SaveOutcome::OutOfDiskSpace;
    }
    return outcome;
}

void loadFromFile(BitmapList& frames, const std::string& fileName,
                  const PercentCallback& progress) {
    FramesFileReader film;
    film.open(fileName);
    film.rewind();
    // The frames there were give their pixel memory to the frames read: a file read again, or
    // one of the same size, needs no fresh memory, which costs a page fault and the clearing of
    // each page on first touch.
    std::vector<std::unique_ptr<Bitmap>> spare = frames.takeAll();
    // The records are found in order on this thread, a batch at a time, then read and decoded on
    // every worker, each into its own bitmap and buffer; the frames are stored in order. A failing
    // record stops the load after the frames before it are stored.
    const size_t batch = 4 * static_cast<size_t>(workerThreads());
    std::vector<FramesFileReader::Record> records;
    std::vector<Bitmap> decoded(batch);
    std::vector<std::string> buffers(batch);
    std::vector<std::exception_ptr> failures(batch);
    int32_t stored = 0;
    bool more = true;
    while (more && stored < film.count) {
        records.clear();
        std::exception_ptr stop;
        try {
            FramesFileReader::Record record;
            while (records.size() < batch &&
                   stored + static_cast<int32_t>(records.size()) < film.count) {
                if (!film.nextRecord(record)) {
                    more = false;
                    break;
                }
                records.push_back(record);
            }
        } catch (const Error&) {
            stop = std::current_exception();
            more = false;
        }
        forEachInOrder(
            0, static_cast<int>(records.size()),
            [&](int k) {
                const auto slot = static_cast<size_t>(k);
                const auto index = static_cast<size_t>(stored) + slot;
                if (index < spare.size() && spare[index])
                    decoded[slot] = std::move(*spare[index]);
                failures[slot] = nullptr;
                try {
                    film.readRecord(records[slot], decoded[slot], buffers[slot]);
                } catch (...) {
                    failures[slot] = std::current_exception();
                }
            },
            nullptr);
        for (size_t k = 0; k < records.size(); ++k) {
            if (failures[k])
                std::rethrow_exception(failures[k]);
            frames.add(std::move(decoded[k]));
            if (progress)
                progress(percent(stored, film.count));
            ++stored;
        }
        if (stop)
            std::rethrow_exception(stop);
    }
}

} // namespace kestrix
