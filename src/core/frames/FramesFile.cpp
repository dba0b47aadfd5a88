#include "core/frames/FramesFile.h"

#include "core/image/BmpCodec.h"
#include "core/util/ByteReader.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
        write(int32Bytes(static_cast<int32_t>(image.size())) + image);
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

void FramesFileReader::open(const std::string& fileName) {
    close();
    stream_ = std::fopen(fileName.c_str(), "rb");
    struct stat st {};
    if (!stream_ || ::fstat(::fileno(stream_), &st) != 0 || S_ISDIR(st.st_mode)) {
        close();
        throw Error("Cannot open file " + fileName, ErrorKind::FileOpen);
    }
    size_ = static_cast<uint64_t>(st.st_size);
    unsigned char header[4] = {};
    count = std::fread(header, 1, 4, stream_) == 4
                ? static_cast<int32_t>(header[0] | header[1] << 8 | header[2] << 16 |
                                       static_cast<uint32_t>(header[3]) << 24)
                : 0;
    rewind();
}

void FramesFileReader::rewind() {
    if (stream_)
        std::fseek(stream_, size_ >= 4 ? 4 : static_cast<long>(size_), SEEK_SET);
}

bool FramesFileReader::readFrame(Bitmap& bitmap) {
    if (!stream_)
        throw Error("File not open");
    const auto at = static_cast<uint64_t>(std::ftell(stream_));
    if (at >= size_)
        return false;
    unsigned char length[4];
    if (size_ - at < 4 || std::fread(length, 1, 4, stream_) != 4)
        throwStreamRead();
    const int32_t s = static_cast<int32_t>(length[0] | length[1] << 8 | length[2] << 16 |
                                           static_cast<uint32_t>(length[3]) << 24);
    if (s == 0) {
        bitmap = Bitmap();
        return true;
    }
    if (s < 0)
        throw Error("Bitmap image is not valid", ErrorKind::InvalidImage);
    if (static_cast<uint64_t>(s) > size_ - at - 4)
        throwStreamRead();
    // One buffer for every record: only a larger record than all before needs fresh memory.
    record_.resize(static_cast<size_t>(s));
    if (std::fread(record_.data(), 1, record_.size(), stream_) != record_.size())
        throwStreamRead();
    if (record_.size() < 14)
        throwStreamRead();
    readBmp(record_, bitmap);
    return true;
}

void FramesFileReader::close() {
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
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
    frames.clear();
    // One frame after the other: the time goes into fresh memory for every frame, which threads
    // would only fight over. Each frame is stored as read, without a copy.
    for (int32_t i = 0; i < film.count; ++i) {
        Bitmap frame;
        if (!film.readFrame(frame))
            break;
        frames.add(std::move(frame));
        if (progress)
            progress(percent(i, film.count));
    }
}

} // namespace kestrix
