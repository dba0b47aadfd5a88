// Frames from the command line's inputs: images decoded as the loader decodes a fetched body,
// and frames files with all their frames.
#pragma once

#include "frames/BitmapList.h"

#include <string>
#include <vector>

namespace kestrix::cli {

// Appends the frames of one input: every frame of a ".ifrm" file, else the decoded image.
void addInputFrames(TBitmapList& frames, const std::string& path);
void addInputFrames(TBitmapList& frames, const std::vector<std::string>& paths);

} // namespace kestrix::cli
