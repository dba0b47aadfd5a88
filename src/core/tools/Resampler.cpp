#include "core/tools/Resampler.h"

#include "core/tools/ResampleKernels.h"
#include "core/util/Error.h"
#include "core/util/Parallel.h"

#include <algorithm>
#include <cmath>

namespace kestrix {

namespace {

constexpr float kPi = 3.14159265358979323846f;

float sinc(float u) {
    if (u == 0.0f)
        return 1.0f;
    const float x = u * kPi;
    return std::sin(x) / x;
}

float boxFilter(float x) {
    return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f;
}

float triangleFilter(float x) {
    const float t = std::fabs(x);
    return t < 1.0f ? 1.0f - t : 0.0f;
}

float hermiteFilter(float x) {
    const float t = std::fabs(x);
    return t < 1.0f ? (2.0f * t - 3.0f) * t * t + 1.0f : 0.0f;
}

float bellFilter(float x) {
    const float t = std::fabs(x);
    if (t < 0.5f)
        return 0.75f - t * t;
    if (t < 1.5f) {
        const float d = t - 1.5f;
        return 0.5f * (d * d);
    }
    return 0.0f;
}

float bSplineFilter(float x) {
    const float t = std::fabs(x);
    if (t < 1.0f)
        return 0.5f * t * t * t - t * t + 2.0f / 3.0f;
    if (t < 2.0f) {
        const float d = 2.0f - t;
        return d * d * d / 6.0f;
    }
    return 0.0f;
}

float mitchellFilter(float x) {
    const float t = std::fabs(x);
    if (t < 1.0f)
        return (7.0f * t * t * t - 12.0f * t * t + 16.0f / 3.0f) / 6.0f;
    if (t < 2.0f)
        return (-(7.0f / 3.0f) * t * t * t + 12.0f * t * t - 20.0f * t + 32.0f / 3.0f) / 6.0f;
    return 0.0f;
}

float lanczos3Filter(float x) {
    const float t = std::fabs(x);
    return t < 3.0f ? sinc(t) * sinc(t / 3.0f) : 0.0f;
}

// Progress over a whole resize: steps of equal size, reported only when the percentage changes.
class Progress {
public:
    Progress(const ProgressCallback& callback, double totalSteps)
        : callback_(callback), step_(100.0 / totalSteps) {}
    void advance(double steps) {
        accumulated_ += step_ * steps;
        const int percent = static_cast<int>(accumulated_);
        if (callback_ && percent != reported_) {
            reported_ = percent;
            callback_(percent);
        }
    }

private:
    const ProgressCallback& callback_;
    double step_;
    double accumulated_ = 0;
    int reported_ = -1;
};

// Flattens weight lists into index and weight arrays with an offset per destination pixel.
FlatWeights flatten(const std::vector<WeightList>& lists) {
    FlatWeights f;
    f.start.push_back(0);
    for (const WeightList& l : lists) {
        for (const PixelWeight& e : l.entries) {
            f.index.push_back(e.pixel);
            f.weight.push_back(e.weight);
        }
        f.start.push_back(static_cast<int32_t>(f.index.size()));
    }
    return f;
}

} // namespace

const FilterEntry kFilterTable[kFilterCount] = {
    {"Box", boxFilter, 0.5f},           {"Triangle", triangleFilter, 1.0f},
    {"Hermite", hermiteFilter, 1.0f},   {"Bell", bellFilter, 1.5f},
    {"B-Spline", bSplineFilter, 2.0f},  {"Mitchell", mitchellFilter, 2.0f},
    {"Lanczos3", lanczos3Filter, 3.0f},
};

float axisScale(int destCount, int sourceCount) {
    // A 1-pixel destination would make the corner rule's scale 0 and its weights divide by it.
    if (sourceCount == 1 || destCount == 1)
        return static_cast<float>(destCount) / static_cast<float>(sourceCount);
    return static_cast<float>(destCount - 1) / static_cast<float>(sourceCount - 1);
}

std::vector<WeightList> buildWeights(int destCount, int sourceCount, float scale, float support,
                                     float (*filter)(float)) {
    float reach = support, divisor = 1.0f;
    if (scale < 1.0f) {
        reach = support / scale;
        divisor = 1.0f / scale;
    }
    std::vector<WeightList> lists(static_cast<size_t>(destCount));
    for (int i = 0; i < destCount; ++i) {
        WeightList& list = lists[static_cast<size_t>(i)];
        list.entries.reserve(static_cast<size_t>(2.0f * reach + 1.0f));
        const float centre = static_cast<float>(i) / scale;
        const auto left = static_cast<int64_t>(std::floor(centre - reach));
        const auto right = static_cast<int64_t>(std::ceil(centre + reach));
        for (int64_t j = left; j <= right; ++j) {
            const float weight = filter((centre - static_cast<float>(j)) / divisor) / divisor;
            if (weight == 0.0f)
                continue;
            int64_t n = j < 0 ? -j : (j < sourceCount ? j : 2 * int64_t{sourceCount} - j - 1);
            n = std::clamp<int64_t>(n, 0, sourceCount - 1);
            list.entries.push_back({static_cast<int32_t>(n), weight});
        }
    }
    return lists;
}

PixelBuffer::PixelBuffer(int width, int height)
    : width_(width), height_(height), rowSize_(static_cast<size_t>(width) * 3),
      pixels_(rowSize_ * static_cast<size_t>(height)) {}

uint8_t* PixelBuffer::scanLine(int row) {
    if (row < 0 || row > height_)
        throw Error("Scanline out of range");
    return pixels_.data() + static_cast<size_t>(row) * rowSize_;
}

void resizeBitmap(Bitmap& bitmap, int newWidth, int newHeight, const ProgressCallback& progress,
                  ResampleFilter filter) {
    const int w = bitmap.width(), h = bitmap.height();
    if (w <= 0 || h <= 0)
        throw Error("Source bitmap too small");
    if (newWidth <= 0 || newHeight <= 0)
        throw Error("Invalid size: " + std::to_string(newWidth) + " x " +
                    std::to_string(newHeight));
    checkImageSize(newWidth, newHeight);
    const FilterEntry& f = filterEntry(filter);
    Progress steps(progress, static_cast<double>(h) + newHeight + 2.0 * newWidth);

    PixelBuffer intermediate(newWidth, h);
    const FlatWeights columns =
        flatten(buildWeights(newWidth, w, axisScale(newWidth, w), f.support, f.filter));
    steps.advance(newWidth);
    // Bands of rows go to the worker threads; the progress moves in order as each band is done,
    // by the same steps as on one thread.
    constexpr int kBand = 4 * kRowGroup;
    forEachInOrder(
        0, (h + kBand - 1) / kBand,
        [&](int band) {
            resampleRows(bitmap, columns, intermediate, band * kBand, (band + 1) * kBand);
        },
        [&](int band) {
            for (int first = band * kBand; first < std::min(h, (band + 1) * kBand);
                 first += kRowGroup)
                steps.advance(std::min(kRowGroup, h - first));
        });

    const FlatWeights rows =
        flatten(buildWeights(newHeight, h, axisScale(newHeight, h), f.support, f.filter));
    steps.advance(newHeight);
    Bitmap result(newWidth, newHeight, PixelFormat::Bit24);
    const double columnStepsPerRow = static_cast<double>(newWidth) / newHeight;
    forEachInOrder(
        0, (newHeight + kBand - 1) / kBand,
        [&](int band) {
            resampleColumns(intermediate, rows, result, band * kBand, (band + 1) * kBand);
        },
        [&](int band) {
            for (int y = band * kBand; y < std::min(newHeight, (band + 1) * kBand); ++y)
                steps.advance(columnStepsPerRow);
        });

    const PixelFormat format = bitmap.pixelFormat();
    if (format != PixelFormat::Bit24) {
        result.setPalette(bitmap.palette());
        result.setPixelFormat(format);
    }
    if (bitmap.transparent())
        result.setTransparentColor(bitmap.transparentColor());
    bitmap = std::move(result);
}

void resizeFrames(BitmapList& frames, int newWidth, int newHeight, ResampleFilter filter,
                  const std::function<void(int)>& progress) {
    frames.markChanged();
    forEachInOrder(
        0, frames.count(),
        [&](int i) { resizeBitmap(*frames.get(i), newWidth, newHeight, nullptr, filter); },
        progress);
}

} // namespace kestrix
