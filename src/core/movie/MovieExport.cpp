// The export pipeline: batches of groups prepared by oneTBB while the previous batch is written.
#include "core/movie/MovieExport.h"

#include "core/frames/BitmapList.h"
#include "core/util/Error.h"
#include "core/util/Parallel.h"

#include <algorithm>
#include <memory>
#include <tbb/parallel_for.h>
#include <tbb/task_group.h>
#include <vector>

namespace kestrix {

namespace {

using PreparedGroup = std::vector<std::unique_ptr<PreparedFrame>>;

class Pipeline {
public:
    Pipeline(MovieWriter& writer, const MovieSource& source, const std::function<void(int)>& gauge)
        : writer_(writer), source_(source), gauge_(gauge),
          batchSize_(2 * static_cast<size_t>(workerThreads())) {}

    // The first group with frames opens the movie with its first frame; it is prepared on this
    // thread.
    void openWithFirstFrames(const std::string& fileName) {
        current_.clear();
        current_.resize(1);
        PreparedGroup& first = current_[0];
        for (; first.empty() && nextGroup_ < source_.groups; ++nextGroup_)
            source_.visit(nextGroup_, [&](const Bitmap& frame) {
                if (first.empty())
                    writer_.open(frame, fileName);
                first.push_back(writer_.prepare(frame));
            });
        if (first.empty())
            throw Error("No Movie To Save");
    }

    void writeAll() {
        while (!current_.empty()) {
            tbb::task_group pending;
            const size_t from = nextGroup_;
            const size_t to = std::min(source_.groups, from + batchSize_);
            nextGroup_ = to;
            handOff(&next_);
            if (from < to)
                pending.run([this, from, to] {
                    takeOver(&next_);
                    prepare(from, to, next_);
                    handOff(&next_);
                });
            try {
                writeCurrent();
            } catch (...) {
                pending.cancel();
                waitQuietly(pending);
                takeOver(&next_);
                throw;
            }
            pending.wait();
            takeOver(&next_);
            current_ = std::move(next_);
            next_.clear();
        }
    }

private:
    void prepare(size_t from, size_t to, std::vector<PreparedGroup>& out) const {
        out.clear();
        out.resize(to - from);
        handOff(&out);
        tbb::parallel_for(from, to, [&](size_t group) {
            takeOver(&out);
            source_.visit(group, [&](const Bitmap& frame) {
                out[group - from].push_back(writer_.prepare(frame));
            });
            handOff(&out);
        });
        takeOver(&out);
    }

    void writeCurrent() {
        for (PreparedGroup& group : current_)
            for (std::unique_ptr<PreparedFrame>& frame : group) {
                if (gauge_)
                    gauge_(written_);
                writer_.write(*frame);
                frame.reset();
                ++written_;
            }
    }

    static void waitQuietly(tbb::task_group& pending) noexcept {
        try {
            pending.wait();
        } catch (...) {
            // The failure that stopped the writing is the one reported.
        }
    }

    MovieWriter& writer_;
    const MovieSource& source_;
    const std::function<void(int)>& gauge_;
    const size_t batchSize_;
    size_t nextGroup_ = 0;
    int written_ = 0;
    std::vector<PreparedGroup> current_, next_;
};

} // namespace

void writeMovie(MovieWriter& writer, const std::string& fileName, const MovieSource& source,
                const std::function<void(int)>& gauge) {
    if (source.groups == 0)
        throw Error("No Movie To Save");
    try {
        withWorkers([&] {
            Pipeline pipeline(writer, source, gauge);
            pipeline.openWithFirstFrames(fileName);
            pipeline.writeAll();
        });
    } catch (...) {
        writer.discard();
        if (gauge)
            gauge(0);
        throw;
    }
    if (gauge)
        gauge(0);
    writer.close();
}

void exportMovie(MovieFormat format, const std::string& fileName, const BitmapList& frames,
                 const MovieOptions& options, const std::function<void(int)>& gauge) {
    // The frame counter and the store can disagree after a failed load; only the store counts.
    const MovieSource source{static_cast<size_t>(frames.count()),
                             [&frames](size_t index, const FrameVisitor& each) {
                                 each(*frames.get(static_cast<int32_t>(index)));
                             }};
    const std::unique_ptr<MovieWriter> writer = makeMovieWriter(format, options);
    writeMovie(*writer, fileName, source, gauge);
}

void exportAvi(const std::string& fileName, const BitmapList& frames, double fps, int quality,
               const std::function<void(int)>& gauge) {
    exportMovie(MovieFormat::Avi, fileName, frames, {fps, quality, false}, gauge);
}

} // namespace kestrix
