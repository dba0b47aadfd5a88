// On virtual machines where every page touched for the first time traps to the host, touching
// the 12 MB a camera picture inflates to page by page takes longer than inflating it; in pages of
// 2 MiB it is a few traps.
#include "core/decode/PageBuffer.h"

#include "core/util/Error.h"

#include <sys/mman.h>

namespace kestrix {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

} // namespace

void PageRelease::operator()(uint8_t* data) const {
    if (mapping != nullptr)
        munmap(mapping, length);
    else
        delete[] data;
}

PageBuffer allocatePages(size_t size) {
    if (size < kHugePage)
        return PageBuffer(new uint8_t[size], PageRelease{});
    // One huge page more than asked, so that the buffer can start on a huge page's boundary.
    const size_t length = size + kHugePage;
    void* mapping =
        mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        throw Error("Out of memory", ErrorKind::OutOfMemory);
    // The first huge-page boundary within the mapping.
    const auto offset = (kHugePage - reinterpret_cast<uintptr_t>(mapping) % kHugePage) % kHugePage;
    auto* data = static_cast<uint8_t*>(mapping) + offset;
    // Only a hint: without huge pages the buffer works the same, page by page.
    madvise(data, size, MADV_HUGEPAGE);
    return PageBuffer(data, PageRelease{mapping, length});
}

} // namespace kestrix
