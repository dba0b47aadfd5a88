// HandlerPool: the few threads that run page handlers, so that a slow page (a large picture read
// from disk) never holds up the socket thread. Its queue has a fixed capacity: a task that does
// not fit is refused, never stored.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrix::web {

class HandlerPool {
public:
    HandlerPool(int threads, size_t capacity);
    // Drops the tasks still waiting and joins the threads once their running tasks end.
    ~HandlerPool();
    HandlerPool(const HandlerPool&) = delete;
    HandlerPool& operator=(const HandlerPool&) = delete;

    // False when the queue is full. The task must not throw.
    bool trySubmit(std::function<void()> task);

private:
    void work();
    void closeAndJoin();

    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

} // namespace kestrix::web
