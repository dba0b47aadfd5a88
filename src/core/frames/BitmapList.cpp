// The owned bitmap lists of the frame store, kept in step with their timestamps.
#include "core/frames/BitmapList.h"

#include "core/util/Error.h"
#include "core/util/Text.h"

#include <new>

namespace kestrix {

void BitmapList::throwIndexError(int32_t index) {
    throw Error(strPrintf("List index out of bounds (%d)", index), ErrorKind::ListIndex);
}

int32_t BitmapList::add(const Bitmap& bitmap) {
    try {
        return add(Bitmap(bitmap));
    } catch (const std::bad_alloc&) {
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    }
}

int32_t BitmapList::add(Bitmap&& bitmap) {
    try {
        bitmaps_.push_back(std::make_unique<Bitmap>(std::move(bitmap)));
        ++changes_;
    } catch (const std::bad_alloc&) {
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    }
    return count() - 1;
}

void BitmapList::remove(int32_t index) {
    if (index < 0 || index >= count())
        throwIndexError(index);
    bitmaps_.erase(bitmaps_.begin() + index);
    ++changes_;
}

void BitmapList::clear() {
    bitmaps_.clear();
    ++changes_;
}

std::vector<std::unique_ptr<Bitmap>> BitmapList::takeAll() {
    std::vector<std::unique_ptr<Bitmap>> taken;
    taken.swap(bitmaps_);
    clear();
    return taken;
}

Bitmap* BitmapList::get(int32_t index) const {
    if (index < 0)
        throwIndexError(index);
    if (index >= count())
        return nullptr;
    return bitmaps_[static_cast<size_t>(index)].get();
}

// The bitmap and its time either both arrive or neither does, so the counts stay equal when
// memory runs out half-way.
int32_t FrameStore::addTimed(Bitmap&& bitmap, DateTime time) {
    try {
        times_.reserve(times_.size() + 1);
    } catch (const std::bad_alloc&) {
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    }
    const int32_t index = BitmapList::add(std::move(bitmap));
    times_.push_back(time);
    return index;
}

void FrameStore::remove(int32_t index) {
    if (index < 0 || index >= count())
        throwIndexError(index);
    times_.erase(times_.begin() + index);
    BitmapList::remove(index);
}

void FrameStore::clear() {
    times_.clear();
    BitmapList::clear();
}

} // namespace kestrix
