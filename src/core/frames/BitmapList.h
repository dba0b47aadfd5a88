// The frame store's lists: TBitmapList owns an ordered list of bitmaps with one integer each;
// TBitmapListEx adds one timestamp (a local date-time) per bitmap.
#pragma once

#include "frames/HugeArray.h"
#include "image/Bitmap.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kestrix {

class TBitmapList {
public:
    TBitmapList();
    virtual ~TBitmapList() = default;
    TBitmapList(const TBitmapList&) = delete;
    TBitmapList& operator=(const TBitmapList&) = delete;

    int32_t Count() const { return static_cast<int32_t>(bitmaps_.size()); }

    // Stores an independent copy of `bitmap` with the value 0; answers its index.
    virtual int32_t Add(const Bitmap& bitmap);
    // Frees bitmap `index`; an index outside 0 .. Count - 1 raises the list-index error and
    // changes nothing.
    virtual void Delete(int32_t index);
    // Frees every bitmap and returns the value block to its initial size.
    virtual void Clear();

    // Lends the stored bitmap: null for index >= Count, the list-index error for a negative one.
    // The pointer stays valid until the list next changes.
    Bitmap* Get(int32_t index) const;

    THugeInteger& Values() { return values_; }
    const THugeInteger& Values() const { return values_; }

protected:
    [[noreturn]] static void throwIndexError(int32_t index);

private:
    std::vector<std::unique_ptr<Bitmap>> bitmaps_;
    THugeInteger values_{5};
};

class TBitmapListEx : public TBitmapList {
public:
    TBitmapListEx() = default;

    // Stores a copy of `bitmap` stamped with `time`; answers its index.
    int32_t AddTimed(const Bitmap& bitmap, double time);
    // A copy stamped 0.0.
    int32_t Add(const Bitmap& bitmap) override { return AddTimed(bitmap, 0.0); }
    void Delete(int32_t index) override;
    void Clear() override;

    THugeDouble& Times() { return times_; }
    const THugeDouble& Times() const { return times_; }

private:
    THugeDouble times_{5};
};

} // namespace kestrix
