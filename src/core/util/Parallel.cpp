#include "core/util/Parallel.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tbb/blocked_range.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
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
    // Work started inside parallel work shares the threads it already has.
    if (tbb::this_task_arena::current_thread_index() >= 0) {
        work();
        return;
    }
    tbb::task_arena arena(workerThreads());
    arena.execute(work);
}

void forEachInOrder(int begin, int end, const std::function<void(int)>& work,
                    const std::function<void(int)>& done) {
    if (begin >= end)
        return;
    // A few indexes per thread keep every thread busy and the gauge moving.
    const int batch = 4 * workerThreads();
    for (int from = begin; from < end; from += batch) {
        const int to = std::min(end, from + batch);
        withWorkers([&] {
            tbb::parallel_for(tbb::blocked_range<int>(from, to, 1),
                              [&](const tbb::blocked_range<int>& range) {
                                  for (int i = range.begin(); i < range.end(); ++i)
                                      work(i);
                              });
        });
        if (done)
            for (int i = from; i < to; ++i)
                done(i);
    }
}

void forEachRange(int count, const std::function<void(int from, int to)>& work) {
    if (count <= 0)
        return;
    withWorkers([&] {
        tbb::parallel_for(
            tbb::blocked_range<int>(0, count),
            [&](const tbb::blocked_range<int>& range) { work(range.begin(), range.end()); });
    });
}

} // namespace kestrix
