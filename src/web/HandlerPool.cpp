#include "web/HandlerPool.h"

#include <algorithm>

namespace kestrix::web {

HandlerPool::HandlerPool(int threads, size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {
    const int count = std::max(threads, 1);
    threads_.reserve(static_cast<size_t>(count));
    try {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this] { work(); });
    } catch (...) {
        // The destructor will not run: the threads already started must still be joined.
        closeAndJoin();
        throw;
    }
}

HandlerPool::~HandlerPool() {
    closeAndJoin();
}

void HandlerPool::closeAndJoin() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        if (thread.joinable())
            thread.join();
}

bool HandlerPool::trySubmit(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        if (closing_ || tasks_.size() >= capacity_)
            return false;
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
    return true;
}

void HandlerPool::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return closing_ || !tasks_.empty(); });
            if (closing_)
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

} // namespace kestrix::web
