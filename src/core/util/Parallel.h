// Work over many frames or rows runs on the machine's cores through oneTBB. KESTRIX_THREADS=N
// sets how many threads it may use; 1 gives the single-threaded path.
#pragma once

#include <functional>
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace kestrix {

// KESTRIX_THREADS when it holds a whole number of at least 1, else the machine's thread count.
int workerThreads();

// Runs `work` where parallel algorithms use at most workerThreads() threads, the calling one
// included. Exceptions of the work reach the caller.
void withWorkers(const std::function<void()>& work);

// Calls work(i) for every i in [begin, end) on the workers, a batch of indexes at a time; after
// each batch, done(i) for the batch's indexes in order on the calling thread (`done` may be
// null), so that a progress gauge advances in order while the work runs.
void forEachInOrder(int begin, int end, const std::function<void(int)>& work,
                    const std::function<void(int)>& done);

// Calls work(from, to) on the workers for ranges that together cover [0, count) once.
void forEachRange(int count, const std::function<void(int from, int to)>& work);

// oneTBB is not built with the thread sanitizer, which therefore cannot see that a task starts
// after the thread that gave it its work and ends before the thread that waits for it goes on.
// Code that hands work to oneTBB says so: handOff(token) before giving work and at the end of
// each task, takeOver(token) at the start of each task and after waiting for them, with one
// token (any address) per hand-over. Nothing happens in other builds.
#if defined(__SANITIZE_THREAD__)
inline void handOff(const void* token) {
    __tsan_release(const_cast<void*>(token));
}
inline void takeOver(const void* token) {
    __tsan_acquire(const_cast<void*>(token));
}
#else
inline void handOff(const void*) {}
inline void takeOver(const void*) {}
#endif

} // namespace kestrix
