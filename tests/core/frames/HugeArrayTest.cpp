#include "frames/HugeArray.h"

#include "util/Error.h"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace kestrix;

namespace {

std::vector<int32_t> contents(const THugeInteger& a) {
    std::vector<int32_t> v;
    for (int32_t i = 0; i < a.Count(); ++i)
        v.push_back(a.Get(i));
    return v;
}

} // namespace

TEST(HugeArray, GrowthSequenceAndClear) {
    THugeInteger a(5);
    std::vector<int32_t> capacities{a.Capacity()};
    for (int32_t i = 0; i < 220; ++i) {
        EXPECT_EQ(a.Add(i), i);
        if (a.Capacity() != capacities.back())
            capacities.push_back(a.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{5, 9, 25, 41, 57, 73, 91, 113, 141, 176, 220}));
    EXPECT_EQ(a.ByteSize(), 220 * 4);
    EXPECT_EQ(a.Get(219), 219);
    a.Clear();
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Capacity(), 5);
    EXPECT_EQ(a.ByteSize(), 20);
    THugeDouble d(1);
    for (int i = 0; i < 3; ++i)
        d.Add(i + 0.5);
    EXPECT_EQ(d.Capacity(), 5);
    EXPECT_EQ(d.Get(2), 2.5);
}

TEST(HugeArray, EmptyAllocation) {
    for (int32_t capacity : {0, -1}) {
        try {
            THugeInteger a(capacity);
            FAIL() << capacity;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Empty Array Allocation");
            EXPECT_EQ(e.kind(), ErrorKind::General);
        }
    }
    EXPECT_THROW(THugeDouble(0), Error);
    THugeInteger a(5);
    a.Add(7);
    EXPECT_THROW(a.SetCapacity(0), Error);
    EXPECT_EQ(a.Capacity(), 5);
    EXPECT_EQ(a.Get(0), 7);
}

TEST(HugeArray, InsertAndDeleteIgnoreIndexesOutOfRange) {
    THugeInteger a(2);
    for (int32_t v : {10, 20, 30})
        a.Add(v);
    a.Insert(5, 0);
    a.Insert(25, 3);
    a.Insert(40, 5);
    a.Insert(99, 7);
    a.Insert(99, -1);
    EXPECT_EQ(contents(a), (std::vector<int32_t>{5, 10, 20, 25, 30, 40}));
    a.Delete(0);
    a.Delete(4);
    a.Delete(4);
    a.Delete(-1);
    EXPECT_EQ(contents(a), (std::vector<int32_t>{10, 20, 25, 30}));
    a.Put(1, 21);
    a.Exchange(0, 3);
    EXPECT_EQ(contents(a), (std::vector<int32_t>{30, 21, 25, 10}));
}

// Random, sorted, reversed and constant arrays, and the extremes whose difference overflows.
TEST(HugeArray, SortDefaultOrdersLikeStdSort) {
    std::mt19937 random(42);
    std::vector<std::vector<int32_t>> inputs = {{}, {1}, {INT_MIN, INT_MAX, 0, -1, INT_MAX, 1}};
    for (int n : {2, 3, 17, 500}) {
        std::vector<int32_t> v(static_cast<size_t>(n));
        for (auto& x : v)
            x = static_cast<int32_t>(random());
        inputs.push_back(v);
        std::sort(v.begin(), v.end());
        inputs.push_back(v);
        inputs.emplace_back(v.rbegin(), v.rend());
        inputs.emplace_back(v.size(), 3);
    }
    for (const auto& input : inputs)
        for (bool ascending : {true, false}) {
            THugeInteger a(1);
            THugeDouble d(1);
            for (int32_t x : input) {
                a.Add(x);
                d.Add(x / 3.0);
            }
            a.SetAscending(ascending);
            d.SetAscending(ascending);
            a.SortDefault();
            d.SortDefault();
            std::vector<int32_t> expected = input;
            std::sort(expected.begin(), expected.end());
            if (!ascending)
                std::reverse(expected.begin(), expected.end());
            EXPECT_EQ(contents(a), expected) << input.size();
            for (int32_t i = 0; i < d.Count(); ++i)
                EXPECT_EQ(d.Get(i), expected[static_cast<size_t>(i)] / 3.0);
        }
}
