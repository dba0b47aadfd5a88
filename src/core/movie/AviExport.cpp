// The AVI export loop over a frame list.
#include "core/movie/AviExport.h"

#include "core/frames/BitmapList.h"
#include "core/movie/AviWriter.h"
#include "core/util/Error.h"

namespace kestrix {

void exportAvi(const std::string& fileName, const BitmapList& frames, double fps, int quality,
               const std::function<void(int)>& gauge) {
    // The frame counter and the store can disagree after a failed load; only the store counts.
    if (frames.count() == 0)
        throw Error("No Movie To Save");
    const auto setGauge = [&gauge](int value) {
        if (gauge)
            gauge(value);
    };
    AviWriter writer;
    const MovieRate rate = movieRateForFps(fps);
    writer.frameRate = rate.rate;
    writer.frameScale = rate.scale;
    writer.frameStep = 1;
    writer.quality = quality;
    try {
        writer.open(*frames.get(0), fileName);
        for (int32_t i = 0; i < frames.count(); ++i) {
            setGauge(i);
            writer.addFrame(*frames.get(i));
        }
    } catch (...) {
        writer.discard();
        setGauge(0);
        throw;
    }
    setGauge(0);
    writer.close();
}

} // namespace kestrix
