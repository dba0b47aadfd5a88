// Work over many frames or rows runs on the machine's cores through oneTBB. KESTRIX_THREADS=N
// sets how many threads it may use; 1 gives the single-threaded path.
#pragma once

#include <functional>

namespace kestrix {

// KESTRIX_THREADS when it holds a whole number of at least 1, else the machine's thread count.
int workerThreads();

// Runs `work` where parallel algorithms use at most workerThreads() threads, the calling one
// included. Exceptions of the work reach the caller.
void withWorkers(const std::function<void()>& work);

} // namespace kestrix
