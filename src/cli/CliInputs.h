// The one reader of the command line's input files: images are decoded as the loader decodes a
// fetched body whose address is the file's name; frames files give all their frames.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/movie/MovieExport.h"

#include <string>
#include <vector>

namespace kestrix::cli {

// The picture of one image file (a GIF gives its first composited frame).
Bitmap readInputImage(const std::string& path);

// Hands every frame of one input to `each`, in order: all frames of a ".ifrm" file, all
// composited frames of a GIF, otherwise the decoded image.
void visitInputFrames(const std::string& path, const FrameVisitor& each);

// Appends every frame of one input: all frames of a ".ifrm" file, all composited frames of a
// GIF, otherwise the decoded image.
void addInputFrames(BitmapList& frames, const std::string& path);
void addInputFrames(BitmapList& frames, const std::vector<std::string>& paths);

} // namespace kestrix::cli
