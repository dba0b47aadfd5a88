#include "core/util/Parallel.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

namespace kestrix {

namespace {

constexpr int kMaxThreads = 256;

// oneTBB holds the threads of all arenas to the machine's count unless told otherwise, and says
// so on stderr; more threads than cores (KESTRIX_THREADS=8 on two) are allowed here first.
void allowThreads(int threads) {
    static std::mutex mutex;
    static std::unique_ptr<tbb::global_control> allowance;
    static int allowed = tbb::info::default_concurrency();
    const std::lock_guard lock(mutex);
    if (threads <= allowed)
        return;
    allowance = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                      static_cast<size_t>(threads));
    allowed = threads;
}

// One arena per thread count, kept: a new arena for every batch of work would make the workers
// find their way into it again each time, which costs more than short batches take. Work started
// inside parallel work enters the arena it is already in, which just runs it.
tbb::task_arena& arenaFor(int threads) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<tbb::task_arena>> arenas;
    const std::lock_guard lock(mutex);
    std::unique_ptr<tbb::task_arena>& arena = arenas[threads];
    if (!arena)
        arena = std::make_unique<tbb::task_arena>(threads);
    return *arena;
}

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
    // The machine's count is oneTBB's own arena, which its workers never leave for another.
    const int threads = workerThreads();
    if (threads == tbb::info::default_concurrency()) {
        work();
        return;
    }
    allowThreads(threads);
    arenaFor(threads).execute(work);
}

void forEachInOrder(int begin, int end, const std::function<void(int)>& work,
                    const std::function<void(int)>& done) {
    if (begin >= end)
        return;
    // A few indexes per thread keep every thread busy and the gauge moving. The calling thread
    // stays in the arena between batches, so the workers need not find their way back.
    const int batch = 4 * workerThreads();
    withWorkers([&] {
        for (int from = begin; from < end; from += batch) {
            const int to = std::min(end, from + batch);
            handOff(&batch);
            tbb::parallel_for(tbb::blocked_range<int>(from, to, 1),
                              [&](const tbb::blocked_range<int>& range) {
                                  takeOver(&batch);
                                  for (int i = range.begin(); i < range.end(); ++i)
                                      work(i);
                                  handOff(&batch);
                              });
            takeOver(&batch);
            if (done)
                for (int i = from; i < to; ++i)
                    done(i);
        }
    });
}

void forEachRange(int count, const std::function<void(int from, int to)>& work) {
    if (count <= 0)
        return;
    withWorkers([&] {
        handOff(&count);
        tbb::parallel_for(tbb::blocked_range<int>(0, count),
                          [&](const tbb::blocked_range<int>& range) {
                              takeOver(&count);
                              work(range.begin(), range.end());
                              handOff(&count);
                          });
        takeOver(&count);
    });
}

} // namespace kestrix
