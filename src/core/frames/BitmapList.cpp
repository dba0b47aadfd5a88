// The owned bitmap lists of the frame store, kept in step with their value blocks.
#include "frames/BitmapList.h"

#include "util/Error.h"
#include "util/Text.h"

#include <new>

namespace kestrix {

TBitmapList::TBitmapList() = default;

void TBitmapList::throwIndexError(int32_t index) {
    throw Error(strPrintf("List index out of bounds (%d)", index), ErrorKind::ListIndex);
}

// The bitmap, its list slot and its value either all arrive or none does, so the counts stay
// equal when memory runs out half-way.
int32_t TBitmapList::Add(const Bitmap& bitmap) {
    try {
        auto copy = std::make_unique<Bitmap>(bitmap);
        bitmaps_.reserve(bitmaps_.size() + 1);
        values_.Add(int32_t{0});
        bitmaps_.push_back(std::move(copy));
    } catch (const std::bad_alloc&) {
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    }
    return Count() - 1;
}

void TBitmapList::Delete(int32_t index) {
    if (index < 0 || index >= Count())
        throwIndexError(index);
    values_.Delete(index);
    bitmaps_.erase(bitmaps_.begin() + index);
}

void TBitmapList::Clear() {
    bitmaps_.clear();
    values_.Clear();
}

Bitmap* TBitmapList::Get(int32_t index) const {
    if (index < 0)
        throwIndexError(index);
    if (index >= Count())
        return nullptr;
    return bitmaps_[static_cast<size_t>(index)].get();
}

int32_t TBitmapListEx::AddTimed(const Bitmap& bitmap, double time) {
    times_.Add(time);
    try {
        return TBitmapList::Add(bitmap);
    } catch (...) {
        times_.Delete(times_.Count() - 1);
        throw;
    }
}

void TBitmapListEx::Delete(int32_t index) {
    if (index < 0 || index >= Count())
        throwIndexError(index);
    times_.Delete(index);
    TBitmapList::Delete(index);
}

void TBitmapListEx::Clear() {
    times_.Clear();
    TBitmapList::Clear();
}

} // namespace kestrix
