#include "core/tools/Resampler.h"

#include "core/util/Error.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace kestrix;

namespace {

Bitmap checkerboard() {
    Bitmap b(8, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool dark = ((x / 2) + (y / 2)) % 2 == 0;
            uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] = dark ? 20 : 220;
            p[1] = dark ? 40 : 200;
            p[2] = dark ? 60 : 180;
        }
    return b;
}

std::string bgrText(const Bitmap& b) {
    std::string out;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const uint8_t* p = b.scanLine(y) + 3 * x;
            out += (out.empty() ? "" : " ") + std::to_string(p[0]) + "," + std::to_string(p[1]) +
                   "," + std::to_string(p[2]);
        }
    return out;
}

Bitmap row(std::initializer_list<uint8_t> values) {
    Bitmap b(static_cast<int>(values.size()), 1);
    int x = 0;
    for (uint8_t v : values) {
        std::fill(b.scanLine(0) + 3 * x, b.scanLine(0) + 3 * x + 3, v);
        ++x;
    }
    return b;
}

} // namespace

// Expected values come from tests/data/resample/make_golden.py, which computes the same
// resizes from the filter formulas in float32 with numpy.
TEST(Resampler, GoldenValuesForEveryFilter) {
    std::ifstream golden(std::string(KESTRIX_TEST_DATA) + "/resample/golden.txt");
    ASSERT_TRUE(golden) << "golden.txt missing";
    std::string line;
    int checked = 0;
    while (std::getline(golden, line)) {
        std::istringstream in(line);
        std::string name, size;
        in >> name >> size;
        std::string expected;
        std::getline(in >> std::ws, expected);
        const int w = std::stoi(size), h = std::stoi(size.substr(size.find('x') + 1));
        int filter = 0;
        while (filter < kFilterCount && name != kFilterTable[filter].name)
            ++filter;
        ASSERT_LT(filter, kFilterCount) << name;
        Bitmap b = checkerboard();
        resizeBitmap(b, w, h, nullptr, kAllFilters[filter]);
        EXPECT_EQ(bgrText(b), expected) << name << " " << size;
        ++checked;
    }
    EXPECT_EQ(checked, 14);
}

TEST(Resampler, WeightsAndEdgeRules) {
    // Two pixels 0 and 200 enlarged to three with Triangle: scale 2, centres 0, 0.5, 1.
    Bitmap b = row({0, 200});
    resizeBitmap(b, 3, 1, nullptr, ResampleFilter::Triangle);
    EXPECT_EQ(bgrText(b), "0,0,0 100,100,100 200,200,200");

    // The same size with Box gives the image back unchanged.
    Bitmap c = row({3, 77, 250, 9, 128});
    const Bitmap original = c;
    resizeBitmap(c, 5, 1, nullptr, ResampleFilter::Box);
    EXPECT_EQ(c.pixelBytes(), original.pixelBytes());

    // A 1-pixel-wide source scales by the plain ratio, and a 1-pixel destination does not
    // divide by zero.
    Bitmap one = row({90});
    resizeBitmap(one, 4, 2, nullptr, ResampleFilter::Lanczos3);
    EXPECT_EQ(one.width(), 4);
    Bitmap wide = row({10, 20, 30, 40, 50, 60, 70, 80});
    for (int filter = 0; filter < kFilterCount; ++filter) {
        Bitmap w = wide;
        resizeBitmap(w, 1, 1, nullptr, kAllFilters[filter]);
        EXPECT_EQ(w.width(), 1) << filter;
    }
    EXPECT_EQ(axisScale(1, 8), 0.125f);
    EXPECT_EQ(axisScale(4, 1), 4.0f);
    EXPECT_EQ(axisScale(3, 2), 2.0f);

    // Every index stays inside the source, even for tiny sources and extreme reductions.
    for (const FilterEntry& filter : kFilterTable)
        for (int n : {1, 2, 3})
            for (const auto& list :
                 buildWeights(40, n, axisScale(40, n), filter.support, filter.filter))
                for (const auto& e : list.entries)
                    ASSERT_TRUE(e.pixel >= 0 && e.pixel < n);
    for (const auto& list : buildWeights(2, 5000, axisScale(2, 5000), 3.0f,
                                         filterEntry(ResampleFilter::Lanczos3).filter))
        for (const auto& e : list.entries)
            ASSERT_TRUE(e.pixel >= 0 && e.pixel < 5000);
}

TEST(Resampler, RoundsHalfToEvenAndClamps) {
    // Weights 0.5 and 0.5 (Triangle at the midpoint) on 255 and 0 give 127.5 -> 128, on 253 and
    // 0 give 126.5 -> 126.
    Bitmap a = row({255, 0});
    resizeBitmap(a, 3, 1, nullptr, ResampleFilter::Triangle);
    EXPECT_EQ(a.scanLine(0)[3], 128);
    Bitmap b = row({253, 0});
    resizeBitmap(b, 3, 1, nullptr, ResampleFilter::Triangle);
    EXPECT_EQ(b.scanLine(0)[3], 126);
    // Lanczos3 overshoots around a sharp edge; the sums are clamped to 0 and 255.
    Bitmap edge = row({0, 0, 0, 255, 255, 255});
    resizeBitmap(edge, 23, 1, nullptr, ResampleFilter::Lanczos3);
    bool low = false, high = false;
    for (int x = 0; x < 23; ++x) {
        low |= edge.scanLine(0)[3 * x] == 0;
        high |= edge.scanLine(0)[3 * x] == 255;
    }
    EXPECT_TRUE(low && high);
}

TEST(Resampler, FormatsProgressAndErrors) {
    Bitmap pal(6, 4, PixelFormat::Bit8);
    pal.setPalette({{0, 0, 0}, {255, 255, 255}});
    resizeBitmap(pal, 3, 2, nullptr, ResampleFilter::Mitchell);
    EXPECT_EQ(pal.pixelFormat(), PixelFormat::Bit8);
    EXPECT_EQ(pal.palette().size(), 2u);

    std::vector<int> reports;
    Bitmap big = checkerboard();
    resizeBitmap(
        big, 40, 30, [&](int p) { reports.push_back(p); }, ResampleFilter::BSpline);
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_GE(reports.back(), 99);
    EXPECT_LE(reports.back(), 100);

    Bitmap empty;
    try {
        resizeBitmap(empty, 10, 10, nullptr, ResampleFilter::Lanczos3);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Source bitmap too small");
    }
    Bitmap fine = checkerboard();
    EXPECT_THROW(resizeBitmap(fine, 0, 5, nullptr, ResampleFilter::Lanczos3), Error);
    EXPECT_EQ(fine.width(), 8);

    PixelBuffer p(4, 3);
    EXPECT_EQ(p.scanLine(3) - p.scanLine(0), 36);
    EXPECT_THROW(p.scanLine(4), Error);
    EXPECT_THROW(p.scanLine(-1), Error);
}
