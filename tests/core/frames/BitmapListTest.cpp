#include "frames/BitmapList.h"

#include "util/Error.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>

using namespace kestrix;

namespace {

Bitmap solid(uint8_t level) {
    Bitmap b(2, 2);
    b.fill({level, level, level});
    return b;
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
    TBitmapListEx store;
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.Get(0), nullptr);
    EXPECT_EQ(errorOf([&] { store.Get(-1); }), "List index out of bounds (-1)");
    store.AddTimed(solid(1), 1.5);
    store.AddTimed(solid(2), 2.5);
    EXPECT_EQ(store.Get(2), nullptr);
    EXPECT_EQ(errorOf([&] { store.Delete(2); }), "List index out of bounds (2)");
    EXPECT_EQ(errorOf([&] { store.Delete(-3); }), "List index out of bounds (-3)");
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(store.Times().Count(), 2);
    EXPECT_EQ(store.Values().Count(), 2);
    store.Delete(store.Count() - 1);
    ASSERT_EQ(store.Count(), 1);
    EXPECT_EQ(store.Get(0)->pixel(0, 0), (Color{1, 1, 1}));
    EXPECT_EQ(store.Times().Get(0), 1.5);
}

TEST(BitmapList, GrowthAndClearOfTheValueBlocks) {
    TBitmapListEx store;
    const Bitmap b = solid(9);
    std::vector<int32_t> capacities;
    for (int i = 1; i <= 10; ++i) {
        store.AddTimed(b, i);
        capacities.push_back(store.Times().Capacity());
        EXPECT_EQ(store.Values().Capacity(), store.Times().Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{5, 5, 5, 5, 5, 9, 9, 9, 9, 25}));
    store.Clear();
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.Times().Capacity(), 5);
    EXPECT_EQ(store.Values().Capacity(), 5);
}

TEST(BitmapList, StoredCopiesAreIndependent) {
    TBitmapListEx store;
    {
        Bitmap mine = solid(10);
        store.Add(mine);
        store.Add(mine);
        mine.fill({200, 0, 0});
    }
    store.Get(0)->fill({50, 60, 70});
    EXPECT_EQ(store.Get(0)->pixel(1, 1), (Color{50, 60, 70}));
    EXPECT_EQ(store.Get(1)->pixel(1, 1), (Color{10, 10, 10}));
}

// The frame store used through the plain list (as the frames file and the GIF import do) still
// stamps 0.0 and drops its timestamps on Clear.
TEST(BitmapList, OverridesApplyThroughTheBaseClass) {
    TBitmapListEx store;
    TBitmapList& list = store;
    store.AddTimed(solid(1), 3.0);
    list.Add(solid(2));
    EXPECT_EQ(store.Times().Get(1), 0.0);
    list.Delete(0);
    EXPECT_EQ(store.Times().Get(0), 0.0);
    list.Clear();
    EXPECT_EQ(store.Times().Count(), 0);
}

// Random sequences of AddTimed, Add, Delete and Clear against a model of (level, time) pairs.
TEST(BitmapList, CountsAndTimesFollowAModel) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        TBitmapListEx store;
        std::vector<std::pair<uint8_t, double>> model;
        for (int step = 0; step < 200; ++step) {
            const unsigned action = random() % 20;
            const auto level = static_cast<uint8_t>(random());
            if (action < 8) {
                const double t = step + 0.25;
                store.AddTimed(solid(level), t);
                model.push_back({level, t});
            } else if (action < 12) {
                store.Add(solid(level));
                model.push_back({level, 0.0});
            } else if (action < 19 && !model.empty()) {
                const auto at = static_cast<int32_t>(random() % model.size());
                store.Delete(at);
                model.erase(model.begin() + at);
            } else if (action == 19) {
                store.Clear();
                model.clear();
            }
            ASSERT_EQ(store.Count(), static_cast<int32_t>(model.size()));
            ASSERT_EQ(store.Times().Count(), store.Count());
            ASSERT_EQ(store.Values().Count(), store.Count());
        }
        for (size_t i = 0; i < model.size(); ++i) {
            const auto index = static_cast<int32_t>(i);
            EXPECT_EQ(store.Times().Get(index), model[i].second);
            EXPECT_EQ(store.Values().Get(index), 0);
            EXPECT_EQ(store.Get(index)->pixel(0, 0).r, model[i].first);
        }
    }
}
