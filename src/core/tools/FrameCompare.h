// Comparing frames with each other: the per-pixel difference behind the motion view, the mean
// channel difference, black rows at the bottom, flawed and duplicate frames, and averaging.
// Frames of different sizes are compared over their common top-left area.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/image/Bitmap.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace kestrix {

// Both bitmaps become 24-bit; every byte of the common top-left area of `target` becomes the
// absolute difference of its byte and the same byte of `other`. The rest of `target` stays.
void differenceInto(Bitmap& target, Bitmap& other);

// Mean absolute difference per channel (blue, green, red) over the common area; both bitmaps
// become 24-bit. Two bitmaps without a common pixel differ by 0.
std::array<double, 3> channelMeanDifference(Bitmap& a, Bitmap& b);
// sqrt(blue^2 + green^2 + red^2) / 443.405006: 0 for identical common areas, below 1 otherwise.
double frameDifference(Bitmap& a, Bitmap& b);
// Rows at the bottom whose every channel byte is at most 3 (the bitmap becomes 24-bit).
int bottomBlackRows(Bitmap& bitmap);

// Accumulator byte := (frame byte + accumulator byte x (n - 1)) div n over the common area.
void averageInto(Bitmap& accumulator, Bitmap& frame, int n);
// The same for the rows [from, to) of 24-bit bitmaps only.
void averageRows(Bitmap& accumulator, const Bitmap& frame, int n, int from, int to);

struct FlawSettings {
    double threshold = 0.07; // FlawThreshold
    bool blackFrames = true; // BlackFrame
};

// Whether frame `a` differs from both of its references far more than they differ from each
// other, or (with blackFrames) has more than 15 black rows at its bottom.
bool isFlawedFrame(BitmapList& frames, int a, const FlawSettings& settings);

// The flawed frames in ascending order; each neighbour difference is computed once. Frames are
// compared on every worker thread (see Parallel.h); `progress` gets each frame in order.
std::vector<int> findFlawedFrames(BitmapList& frames, const FlawSettings& settings,
                                  const std::function<void(int)>& progress);
// Frames equal (size, format, pixels) to an earlier frame, in ascending order.
std::vector<int> findDuplicateFrames(const BitmapList& frames,
                                     const std::function<void(int)>& progress);

// Frame numbers (position + 1) separated by commas, broken into lines as the question shows them.
std::string listText(const std::vector<int>& positions);
std::string flawQuestion(const std::vector<int>& positions);
std::string duplicateQuestion(const std::vector<int>& positions);

// The mean of all frames into `accumulator` (empty without frames).
void averageFrames(BitmapList& frames, Bitmap& accumulator,
                   const std::function<void(int)>& progress);

} // namespace kestrix
