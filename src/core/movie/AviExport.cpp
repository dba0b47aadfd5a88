// The AVI export loop over a frame list.
#include "movie/AviExport.h"

#include "frames/BitmapList.h"
#include "movie/VideoWriter.h"
#include "util/Error.h"

namespace kestrix {

void ExportAVI(const std::string& fileName, const TBitmapList& frames, double fps, int quality,
               const std::function<void(int)>& gauge) {
    // The frame counter and the store can disagree after a failed load; only the store counts.
    if (frames.Count() == 0)
        throw Error("No Movie To Save");
    const auto setGauge = [&gauge](int value) {
        if (gauge)
            gauge(value);
    };
    TVideoWriter writer;
    const MovieRate rate = movieRateForFps(fps);
    writer.FrameRate = rate.rate;
    writer.FrameScale = rate.scale;
    writer.FrameStep = 1;
    writer.Quality = quality;
    try {
        writer.Open(*frames.Get(0), fileName);
        for (int32_t i = 0; i < frames.Count(); ++i) {
            setGauge(i);
            writer.AddFrame(*frames.Get(i));
        }
    } catch (...) {
        writer.Discard();
        setGauge(0);
        throw;
    }
    setGauge(0);
    writer.Close();
}

} // namespace kestrix
