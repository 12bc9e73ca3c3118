// The host's worker threads: started once, on first use, and kept for the
// life of the Host, so an iteration costs a wake-up rather than a thread start.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace corvexel::host {

class WorkerPool {
public:
    // Each worker thread calls onStart(index) once before it takes any work
    // (the host uses it to make itself the thread's current host).
    explicit WorkerPool(std::function<void(int32_t index)> onStart);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs work(threadIndex) once on the calling thread (index 0) and once on
    // each of `helpers` workers (indices 1 .. helpers), and returns when all
    // have returned. The pool grows to `helpers` threads when it has fewer.
    // When the pool is already running work (a call from inside work, or from
    // a second thread at the same time) the calling thread does it all alone:
    // work(threadIndex) then runs once, with the index given.
    void run(int32_t helpers, int32_t callerIndex, const std::function<void(int32_t)>& work);

    int32_t threadCount() const;

private:
    void workerLoop(int32_t index);

    std::function<void(int32_t)> onStart_;
    std::atomic<bool> busy_{false};    // set by the caller for the whole of a run
    mutable std::mutex lock_;          // guards everything below
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::vector<std::thread> threads_;
    const std::function<void(int32_t)>* job_ = nullptr;
    uint64_t generation_ = 0;          // counts runs, so a worker takes each one once
    int32_t wanted_ = 0;               // workers 1 .. wanted_ take part in the current run
    int32_t outstanding_ = 0;          // of them, still working
    bool quit_ = false;
};

}  // namespace corvexel::host
