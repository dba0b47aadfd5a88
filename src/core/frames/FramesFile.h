// The frames file: a little-endian frame count, then per frame a length and a complete BMP file
// image in the frame's own pixel format (0 for an empty frame). Timestamps are not stored.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/util/AtomicFile.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kestrix {

using PercentCallback = std::function<void(int percent)>;

// Writes frames. The file is built under a temporary name beside the target and renamed over it
// when closed, so an existing file is never lost to a failed save.
class FramesFileWriter {
public:
    FramesFileWriter() = default;
    ~FramesFileWriter();
    FramesFileWriter(const FramesFileWriter&) = delete;
    FramesFileWriter& operator=(const FramesFileWriter&) = delete;

    // Raises "Cannot create file NAME".
    void open(const std::string& fileName);
    // Appends one frame record; a failed write raises and leaves Count as it was.
    void addFrame(const Bitmap& bitmap);
    // Writes Count at the start and puts the file in place. After a failed frame the completed
    // frames are kept only when no file of that name existed before.
    void close();
    int32_t count = 0;

private:
    void write(const std::string& bytes);
    AtomicFile file_;
    bool open_ = false;
    std::string fileName_;
    bool failed_ = false;
};

// Reads frames back, trusting nothing the file says: counts and lengths are checked against the
// file's real size before anything is allocated.
class FramesFileReader {
public:
    FramesFileReader() = default;
    ~FramesFileReader() { close(); }
    FramesFileReader(const FramesFileReader&) = delete;
    FramesFileReader& operator=(const FramesFileReader&) = delete;

    // Raises "Cannot open file NAME". A file shorter than 4 bytes has Count 0.
    void open(const std::string& fileName);
    void rewind();
    // False at the end of the file. A record that does not start with "BM" raises "Bitmap image
    // is not valid"; one cut short raises "Stream read error". The frame is decoded into the
    // pixel memory `bitmap` already holds where that is large enough; when reading raises,
    // `bitmap` is left empty.
    bool readFrame(Bitmap& bitmap);
    void close();
    int32_t count = 0;

    // readFrame in two steps, so that records can be decoded on several threads: nextRecord
    // finds the next record and moves past it (false at the end of the file; a length that is
    // negative or reaches past the end raises as readFrame does), then readRecord, which may run
    // on any thread for any records found, reads and decodes it with `buffer` as scratch memory.
    struct Record {
        uint64_t offset = 0; // of the BMP image
        uint32_t size = 0;   // 0 for an empty frame
    };
    bool nextRecord(Record& record);
    void readRecord(const Record& record, Bitmap& bitmap, std::string& buffer) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    std::string buffer_;
};

enum class SaveOutcome { Complete, OutOfDiskSpace };

// Saves every frame; answers OutOfDiskSpace (the caller tells the user "Out Of Disk Space") when
// a frame could not be written. `progress` gets 100 x i / count after frame i.
SaveOutcome saveToFile(const BitmapList& frames, const std::string& fileName,
                       const PercentCallback& progress);
// Empties the list, then reads the file's frames (stamped 0.0 in a FrameStore) until its
// count or its end. Frames read before a failing record stay in the list. The list's old bitmaps
// lend their memory to the frames read; frames are decoded on the worker threads (Parallel.h),
// and `progress` gets 100 x i / count after frame i, in order.
void loadFromFile(BitmapList& frames, const std::string& fileName, const PercentCallback& progress);

} // namespace kestrix
