// Pictures the commands write: the file name's extension picks BMP, PNG or JPEG, and --quality
// sets JPEG's quality.
#pragma once

#include "core/image/ImageFile.h"

#include <CLI/CLI.hpp>
#include <string>

namespace kestrix::cli {

void addQualityOption(CLI::App& command, int& quality);

// Raises "Unknown image file type: ..." for a name of no picture type; called before any work,
// so that a refused name leaves nothing behind.
inline void checkPictureName(const std::string& path) {
    imageFileTypeFor(path);
}

} // namespace kestrix::cli
