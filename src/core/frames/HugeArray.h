// Growable arrays of fixed-size elements in one contiguous block: the untyped THugeArray and its
// 32-bit integer and 64-bit float forms. The frame store keeps its per-frame values in them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace kestrix {

class THugeArray {
public:
    // Compares two elements given their addresses: negative, zero or positive.
    using CompareFunction = int (*)(const void* a, const void* b);

    THugeArray(int32_t initialCapacity, int32_t elementSize);
    virtual ~THugeArray() = default;
    THugeArray(const THugeArray&) = delete;
    THugeArray& operator=(const THugeArray&) = delete;

    int32_t ElementSize() const { return elementSize_; }
    int32_t ByteSize() const { return byteSize_; }
    int32_t Delta() const { return delta_; }
    int32_t InitialCapacity() const { return initialCapacity_; }
    int32_t Capacity() const { return capacity_; }
    int32_t Count() const { return count_; }
    bool Ascending() const { return ascending_; }
    void SetAscending(bool ascending) { ascending_ = ascending; }
    const void* Data() const { return data_.get(); }

    // The address of element `index`; the caller keeps 0 <= index < Count.
    void* Item(int32_t index) const {
        return data_.get() + static_cast<size_t>(index) * static_cast<size_t>(elementSize_);
    }

    // Appends a copy of the element's bytes; answers its index.
    virtual int32_t Add(const void* element);
    // Removes the element for 0 <= index < Count; other indexes are ignored.
    virtual void Delete(int32_t index);
    // Swaps two elements (no bounds check).
    virtual void Exchange(int32_t i, int32_t j);
    virtual void Sort(CompareFunction compare);
    virtual void SortDefault() {}

    // Inserts the element at 0 <= index <= Count; other indexes are ignored.
    void Insert(const void* element, int32_t index);
    // Count := 0 and the block shrinks back to the initial capacity.
    void Clear();
    // Raises "Empty Array Allocation" for n <= 0 and leaves the array unchanged.
    void SetCapacity(int32_t n);
    void Grow();

private:
    struct FreeBlock {
        void operator()(uint8_t* p) const { std::free(p); }
    };

    void sortRange(int32_t lo, int32_t hi, CompareFunction compare);

    int32_t elementSize_ = 0;
    int32_t byteSize_ = 0;
    std::unique_ptr<uint8_t, FreeBlock> data_;
    int32_t delta_ = 4;
    int32_t initialCapacity_ = 0;
    int32_t capacity_ = 0;
    bool ascending_ = true;
    int32_t count_ = 0;
};

class THugeInteger : public THugeArray {
public:
    explicit THugeInteger(int32_t initialCapacity) : THugeArray(initialCapacity, 4) {}

    void SortDefault() override;
    virtual void Put(int32_t index, int32_t value);
    virtual void Insert(int32_t value, int32_t index);

    int32_t Add(int32_t value) { return THugeArray::Add(&value); }
    int32_t Get(int32_t index) const { return *static_cast<const int32_t*>(Item(index)); }
};

class THugeDouble : public THugeArray {
public:
    explicit THugeDouble(int32_t initialCapacity) : THugeArray(initialCapacity, 8) {}

    void SortDefault() override;
    virtual void Put(int32_t index, double value);
    virtual void Insert(double value, int32_t index);

    int32_t Add(double value) { return THugeArray::Add(&value); }
    double Get(int32_t index) const { return *static_cast<const double*>(Item(index)); }
};

} // namespace kestrix
