// The frames file: a little-endian frame count, then per frame a length and a complete BMP file
// image in the frame's own pixel format (0 for an empty frame). Timestamps are not stored.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/util/AtomicFile.h"

#include <cstdint>
#include <cstdio>
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
    // is not valid"; one cut short raises "Stream read error".
    bool readFrame(Bitmap& bitmap);
    void close();
    int32_t count = 0;

private:
    std::FILE* stream_ = nullptr;
    std::string record_;
    uint64_t size_ = 0;
};

enum class SaveOutcome { Complete, OutOfDiskSpace };

// Saves every frame; answers OutOfDiskSpace (the caller tells the user "Out Of Disk Space") when
// a frame could not be written. `progress` gets 100 x i / count after frame i.
SaveOutcome saveToFile(const BitmapList& frames, const std::string& fileName,
                       const PercentCallback& progress);
// Empties the list, then reads the file's frames (stamped 0.0 in a FrameStore) until its
// count or its end. Frames read before a failing record stay in the list.
void loadFromFile(BitmapList& frames, const std::string& fileName, const PercentCallback& progress);

} // namespace kestrix
