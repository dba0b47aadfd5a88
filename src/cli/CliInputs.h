// The one reader of the command line's input files: images are decoded as the loader decodes a
// fetched body whose address is the file's name; frames files give all their frames.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/movie/MovieExport.h"
#include "core/util/Parallel.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace kestrix::cli {

// The picture of one image file (a GIF gives its first composited frame).
Bitmap readInputImage(const std::string& path);

// Hands every frame of one input to `each`, in order: all frames of a ".ifrm" file, all
// composited frames of a GIF, otherwise the decoded image.
void visitInputFrames(const std::string& path, const FrameVisitor& each);

// How many frames the inputs hold, for progress: 0 when a GIF's frames are not known beforehand.
int64_t countInputFrames(const std::vector<std::string>& paths);

// Appends every frame of one input: all frames of a ".ifrm" file, all composited frames of a
// GIF, otherwise the decoded image.
void addInputFrames(BitmapList& frames, const std::string& path);
void addInputFrames(BitmapList& frames, const std::vector<std::string>& paths);

// Reads every input with `read` on the worker threads, a batch at a time, and hands each result to
// `use` in the order of `paths`, on the calling thread. The first input that fails raises its
// error once every input before it was used.
template <class Result>
void readInputsInOrder(const std::vector<std::string>& paths,
                       const std::function<Result(const std::string&)>& read,
                       const std::function<void(Result&)>& use) {
    std::vector<Result> results(paths.size());
    std::vector<std::exception_ptr> failures(paths.size());
    forEachInOrder(
        0, static_cast<int>(paths.size()),
        [&](int i) {
            const auto k = static_cast<size_t>(i);
            try {
                results[k] = read(paths[k]);
            } catch (...) {
                failures[k] = std::current_exception();
            }
        },
        [&](int i) {
            const auto k = static_cast<size_t>(i);
            if (failures[k])
                std::rethrow_exception(failures[k]);
            use(results[k]);
            results[k] = Result();
        });
}

} // namespace kestrix::cli
