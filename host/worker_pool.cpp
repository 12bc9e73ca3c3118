#include "host/worker_pool.h"

namespace corvexel::host {

WorkerPool::WorkerPool(std::function<void(int32_t)> onStart) : onStart_(std::move(onStart)) {}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

int32_t WorkerPool::threadCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int32_t>(threads_.size());
}

void WorkerPool::workerLoop(int32_t index) {
    if (onStart_) onStart_(index);
    uint64_t seen = 0;
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        wake_.wait(guard, [&] { return quit_ || generation_ != seen; });
        if (quit_) return;
        seen = generation_;
        if (index > wanted_) continue;
        const std::function<void(int32_t)>* job = job_;
        guard.unlock();
        (*job)(index);
        guard.lock();
        if (--outstanding_ == 0) finished_.notify_one();
    }
}

void WorkerPool::run(int32_t helpers, int32_t callerIndex,
                     const std::function<void(int32_t)>& work) {
    bool idle = false;
    if (helpers <= 0 || !busy_.compare_exchange_strong(idle, true, std::memory_order_acquire)) {
        work(callerIndex);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        while (static_cast<int32_t>(threads_.size()) < helpers) {
            const int32_t index = static_cast<int32_t>(threads_.size()) + 1;
            threads_.emplace_back([this, index] { workerLoop(index); });
        }
        job_ = &work;
        wanted_ = helpers;
        outstanding_ = helpers;
        ++generation_;
    }
    wake_.notify_all();
    work(0);
    std::unique_lock<std::mutex> guard(lock_);
    finished_.wait(guard, [&] { return outstanding_ == 0; });
    job_ = nullptr;
    busy_.store(false, std::memory_order_release);
}

}  // namespace corvexel::host
