// AVI export of a frame list: every frame in order, at the playback speed and the AVI quality.
#pragma once

#include <functional>
#include <string>

namespace kestrix {

class BitmapList;

// Writes every frame of `frames` to `fileName` as a Motion JPEG AVI movie at `fps` frames per
// second (see movieRateForFps) and `quality` 0..10000. A list without frames raises
// "No Movie To Save" and creates no file. `gauge`, when given, receives the index of each frame
// before it is written (the gauge's maximum being the frame count) and 0 at the end, also after
// a failure. A failed export leaves an existing file of that name as it was.
void exportAvi(const std::string& fileName, const BitmapList& frames, double fps, int quality,
               const std::function<void(int)>& gauge);

} // namespace kestrix
