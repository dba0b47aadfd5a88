#include "core/util/Parallel.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tbb/info.h>
#include <tbb/task_arena.h>

namespace kestrix {

namespace {

constexpr int kMaxThreads = 256;

} // namespace

int workerThreads() {
    if (const char* text = std::getenv("KESTRIX_THREADS")) {
        char* end = nullptr;
        const long wanted = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && wanted >= 1)
            return static_cast<int>(std::min<long>(wanted, kMaxThreads));
    }
    return std::max(1, tbb::info::default_concurrency());
}

void withWorkers(const std::function<void()>& work) {
    tbb::task_arena arena(workerThreads());
    arena.execute(work);
}

} // namespace kestrix
