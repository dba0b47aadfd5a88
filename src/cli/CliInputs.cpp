#include "CliInputs.h"

#include "decode/ImageDecoder.h"
#include "frames/FramesFile.h"
#include "util/FileIO.h"
#include "util/Text.h"

#include <filesystem>

namespace kestrix::cli {

void addInputFrames(TBitmapList& frames, const std::string& path) {
    const std::filesystem::path p(path);
    if (toLowerAscii(p.extension().string()) == ".ifrm") {
        TBitmapListEx file;
        LoadFromFile(file, path, nullptr);
        for (int32_t i = 0; i < file.Count(); ++i)
            frames.Add(*file.Get(i));
        return;
    }
    Bitmap image;
    DecodeImage(readFileBytes(path), p.filename().string(), image, nullptr);
    frames.Add(image);
}

void addInputFrames(TBitmapList& frames, const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        addInputFrames(frames, path);
}

} // namespace kestrix::cli
