// The growable arrays: block management, the growth rule and the quicksort.
#include "frames/HugeArray.h"

#include "util/Error.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kestrix {

namespace {

[[noreturn]] void throwEmptyAllocation() {
    throw Error("Empty Array Allocation");
}
[[noreturn]] void throwOutOfMemory() {
    throw Error("Out of memory", ErrorKind::OutOfMemory);
}

// ByteSize is a 32-bit count, so no block may exceed what it can state.
constexpr int64_t kMaxByteSize = std::numeric_limits<int32_t>::max();

} // namespace

THugeArray::THugeArray(int32_t initialCapacity, int32_t elementSize) : elementSize_(elementSize) {
    if (elementSize <= 0)
        throwEmptyAllocation();
    int64_t bytes = int64_t{initialCapacity} * elementSize;
    if (bytes <= 0)
        throwEmptyAllocation();
    if (bytes > kMaxByteSize) {
        initialCapacity = static_cast<int32_t>(kMaxByteSize / elementSize);
        bytes = int64_t{initialCapacity} * elementSize;
    }
    data_.reset(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes))));
    if (!data_)
        throwOutOfMemory();
    byteSize_ = static_cast<int32_t>(bytes);
    capacity_ = initialCapacity;
    initialCapacity_ = initialCapacity;
}

void THugeArray::SetCapacity(int32_t n) {
    if (n <= 0)
        throwEmptyAllocation();
    const int64_t bytes = int64_t{n} * elementSize_;
    if (bytes > kMaxByteSize)
        throwOutOfMemory();
    void* block = std::realloc(data_.get(), static_cast<size_t>(bytes));
    if (!block)
        throwOutOfMemory();
    (void)data_.release();
    data_.reset(static_cast<uint8_t*>(block));
    byteSize_ = static_cast<int32_t>(bytes);
    capacity_ = n;
    count_ = std::min(count_, n);
}

void THugeArray::Grow() {
    if (count_ < capacity_)
        return;
    if (capacity_ > 64)
        delta_ = capacity_ / 4;
    else if (capacity_ > 8)
        delta_ = 16;
    else
        delta_ = 4;
    if (int64_t{capacity_} + delta_ > std::numeric_limits<int32_t>::max())
        throwOutOfMemory();
    SetCapacity(capacity_ + delta_);
}

int32_t THugeArray::Add(const void* element) {
    Grow();
    std::memcpy(Item(count_), element, static_cast<size_t>(elementSize_));
    return count_++;
}

void THugeArray::Insert(const void* element, int32_t index) {
    if (index < 0 || index > count_)
        return;
    Grow();
    const size_t size = static_cast<size_t>(elementSize_);
    std::memmove(Item(index + 1), Item(index), static_cast<size_t>(count_ - index) * size);
    std::memcpy(Item(index), element, size);
    ++count_;
}

void THugeArray::Delete(int32_t index) {
    if (index < 0 || index >= count_)
        return;
    const size_t size = static_cast<size_t>(elementSize_);
    std::memmove(Item(index), Item(index + 1), static_cast<size_t>(count_ - index - 1) * size);
    --count_;
}

void THugeArray::Exchange(int32_t i, int32_t j) {
    auto* a = static_cast<uint8_t*>(Item(i));
    auto* b = static_cast<uint8_t*>(Item(j));
    std::swap_ranges(a, a + elementSize_, b);
}

void THugeArray::Clear() {
    count_ = 0;
    SetCapacity(initialCapacity_);
}

void THugeArray::Sort(CompareFunction compare) {
    if (count_ > 0)
        sortRange(0, count_ - 1, compare);
}

// Each range is partitioned exactly as the classic quicksort does; the smaller side is sorted
// by recursion and the larger one by the loop, so the stack stays logarithmic even for
// adversarial orders. The ranges are disjoint, so the order of visiting them changes nothing.
void THugeArray::sortRange(int32_t lo, int32_t hi, CompareFunction compare) {
    while (lo < hi) {
        int32_t i = lo;
        int32_t j = hi;
        const void* pivot = Item(lo + (hi - lo) / 2);
        do {
            while (compare(Item(i), pivot) < 0)
                ++i;
            while (compare(Item(j), pivot) > 0)
                --j;
            if (i <= j) {
                Exchange(i, j);
                if (pivot == Item(i))
                    pivot = Item(j);
                else if (pivot == Item(j))
                    pivot = Item(i);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - lo < hi - i) {
            sortRange(lo, j, compare);
            lo = i;
        } else {
            sortRange(i, hi, compare);
            hi = j;
        }
    }
}

namespace {

// Three-way comparisons: a difference of two 32-bit values can overflow and invert the order.
template <typename T> int threeWay(const void* a, const void* b) {
    const T x = *static_cast<const T*>(a);
    const T y = *static_cast<const T*>(b);
    return (x > y) - (x < y);
}

template <typename T> int threeWayDescending(const void* a, const void* b) {
    return threeWay<T>(b, a);
}

} // namespace

void THugeInteger::SortDefault() {
    Sort(Ascending() ? threeWay<int32_t> : threeWayDescending<int32_t>);
}

void THugeInteger::Put(int32_t index, int32_t value) {
    std::memcpy(Item(index), &value, sizeof value);
}

void THugeInteger::Insert(int32_t value, int32_t index) {
    THugeArray::Insert(&value, index);
}

void THugeDouble::SortDefault() {
    Sort(Ascending() ? threeWay<double> : threeWayDescending<double>);
}

void THugeDouble::Put(int32_t index, double value) {
    std::memcpy(Item(index), &value, sizeof value);
}

void THugeDouble::Insert(double value, int32_t index) {
    THugeArray::Insert(&value, index);
}

} // namespace kestrix
