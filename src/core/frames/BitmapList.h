// The frame store's lists: BitmapList owns an ordered list of bitmaps; FrameStore adds one
// timestamp (a local date-time) per bitmap.
#pragma once

#include "core/image/Bitmap.h"
#include "core/util/DateTime.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace kestrix {

class BitmapList {
public:
    BitmapList() = default;
    virtual ~BitmapList() = default;
    BitmapList(const BitmapList&) = delete;
    BitmapList& operator=(const BitmapList&) = delete;

    int32_t count() const { return static_cast<int32_t>(bitmaps_.size()); }

    // Stores an independent copy of `bitmap`; answers its index.
    virtual int32_t add(const Bitmap& bitmap);
    // Stores `bitmap` itself, without a copy.
    virtual int32_t add(Bitmap&& bitmap);
    // Frees bitmap `index`; an index outside 0 .. count - 1 raises the list-index error and
    // changes nothing.
    virtual void remove(int32_t index);
    // Frees every bitmap.
    virtual void clear();
    // Empties the list as clear() does, handing the bitmaps over instead of freeing them, so that
    // their memory can be used again.
    std::vector<std::unique_ptr<Bitmap>> takeAll();

    // Lends the stored bitmap: null for index >= count, the list-index error for a negative one.
    // The pointer stays valid until the list next changes.
    Bitmap* get(int32_t index) const;

    // Counts the changes: every add, remove and clear, and every markChanged of code that edits
    // stored bitmaps in place. Equal counts mean the same frames.
    uint64_t changes() const { return changes_; }
    void markChanged() { ++changes_; }

protected:
    [[noreturn]] static void throwIndexError(int32_t index);

private:
    std::vector<std::unique_ptr<Bitmap>> bitmaps_;
    uint64_t changes_ = 0;
};

class FrameStore : public BitmapList {
public:
    FrameStore() = default;

    // Stores a copy of `bitmap` stamped with `time`; answers its index.
    int32_t addTimed(const Bitmap& bitmap, DateTime time) { return addTimed(Bitmap(bitmap), time); }
    int32_t addTimed(Bitmap&& bitmap, DateTime time);
    // Stamped 0.0.
    int32_t add(const Bitmap& bitmap) override { return addTimed(bitmap, 0.0); }
    int32_t add(Bitmap&& bitmap) override { return addTimed(std::move(bitmap), 0.0); }
    void remove(int32_t index) override;
    void clear() override;

    // One time per bitmap, in the same order.
    const std::vector<DateTime>& times() const { return times_; }
    DateTime time(int32_t index) const { return times_.at(static_cast<size_t>(index)); }

private:
    std::vector<DateTime> times_;
};

} // namespace kestrix
