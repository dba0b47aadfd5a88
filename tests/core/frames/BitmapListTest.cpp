#include "core/frames/BitmapList.h"

#include "core/util/Error.h"
#include "support/ImageBuilders.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>

using namespace kestrix;

namespace {

Bitmap solid(uint8_t level) {
    return test::greyBitmap(level, 2, 2);
}

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::ListIndex);
        return e.what();
    }
    return "";
}

} // namespace

TEST(BitmapList, NewStoreAndIndexErrors) {
    FrameStore store;
    EXPECT_EQ(store.count(), 0);
    EXPECT_EQ(store.get(0), nullptr);
    EXPECT_EQ(errorOf([&] { store.get(-1); }), "List index out of bounds (-1)");
    store.addTimed(solid(1), 1.5);
    store.addTimed(solid(2), 2.5);
    EXPECT_EQ(store.get(2), nullptr);
    EXPECT_EQ(errorOf([&] { store.remove(2); }), "List index out of bounds (2)");
    EXPECT_EQ(errorOf([&] { store.remove(-3); }), "List index out of bounds (-3)");
    EXPECT_EQ(store.count(), 2);
    EXPECT_EQ(store.times().size(), 2u);
    store.remove(store.count() - 1);
    ASSERT_EQ(store.count(), 1);
    EXPECT_EQ(store.get(0)->pixel(0, 0), (Color{1, 1, 1}));
    EXPECT_EQ(store.time(0), 1.5);
}

TEST(BitmapList, StoredCopiesAreIndependent) {
    FrameStore store;
    {
        Bitmap mine = solid(10);
        store.add(mine);
        store.add(mine);
        mine.fill({200, 0, 0});
    }
    store.get(0)->fill({50, 60, 70});
    EXPECT_EQ(store.get(0)->pixel(1, 1), (Color{50, 60, 70}));
    EXPECT_EQ(store.get(1)->pixel(1, 1), (Color{10, 10, 10}));
}

// The frame store used through the plain list (as the frames file and the GIF import do) still
// stamps 0.0 and drops its timestamps on Clear.
TEST(BitmapList, OverridesApplyThroughTheBaseClass) {
    FrameStore store;
    BitmapList& list = store;
    store.addTimed(solid(1), 3.0);
    list.add(solid(2));
    EXPECT_EQ(store.time(1), 0.0);
    list.remove(0);
    EXPECT_EQ(store.time(0), 0.0);
    list.clear();
    EXPECT_TRUE(store.times().empty());
}

// Random sequences of addTimed, add, remove and clear against a model of (level, time) pairs.
TEST(BitmapList, CountsAndTimesFollowAModel) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        FrameStore store;
        std::vector<std::pair<uint8_t, double>> model;
        for (int step = 0; step < 200; ++step) {
            const unsigned action = random() % 20;
            const auto level = static_cast<uint8_t>(random());
            if (action < 8) {
                const double t = step + 0.25;
                store.addTimed(solid(level), t);
                model.emplace_back(level, t);
            } else if (action < 12) {
                store.add(solid(level));
                model.emplace_back(level, 0.0);
            } else if (action < 19 && !model.empty()) {
                const auto at = static_cast<int32_t>(random() % model.size());
                store.remove(at);
                model.erase(model.begin() + at);
            } else if (action == 19) {
                store.clear();
                model.clear();
            }
            ASSERT_EQ(store.count(), static_cast<int32_t>(model.size()));
            ASSERT_EQ(store.times().size(), model.size());
        }
        for (size_t i = 0; i < model.size(); ++i) {
            const auto index = static_cast<int32_t>(i);
            EXPECT_EQ(store.time(index), model[i].second);
            EXPECT_EQ(store.get(index)->pixel(0, 0).r, model[i].first);
        }
    }
}
