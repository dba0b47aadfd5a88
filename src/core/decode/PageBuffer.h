// Large scratch buffers for whole images, taken from the system in huge pages where it offers
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kestrix {

// Gives back what allocatePages took: mapped pages, or an array when it was small.
struct PageRelease {
    void* mapping = nullptr;
    size_t length = 0;
    void operator()(uint8_t* data) const;
};
using PageBuffer = std::unique_ptr<uint8_t[], PageRelease>;

// `size` bytes, not cleared. Large buffers come in huge pages where the system offers them.
PageBuffer allocatePages(size_t size);

} // namespace kestrix
