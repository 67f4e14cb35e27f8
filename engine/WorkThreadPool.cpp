#include "engine/WorkThreadPool.h"

#include <algorithm>

#include "logging/Log.h"

CWorkThreadPoolImpl::~CWorkThreadPoolImpl() {
    Stop();
}

void CWorkThreadPoolImpl::Start(unsigned n) {
    StartWith(n, std::thread::hardware_concurrency());
}

void CWorkThreadPoolImpl::StartWith(unsigned n, unsigned hardwareThreads) {
    std::lock_guard<std::mutex> life(lifeMutex_);
    if (started_) {
        return;
    }
    // Every batch thread waits for its counter, so the pool must have at least one thread even
    // when the platform cannot tell how many hardware threads it has.
    unsigned count = std::max(1u, std::min(hardwareThreads, n));
    running_ = true;
    for (unsigned i = 0; i < count; ++i) {
        threads_.push_back(std::make_shared<std::thread>(&CWorkThreadPoolImpl::WorkerLoop, this));
    }
    started_ = true;
}

void CWorkThreadPoolImpl::Submit(PoolTask* task) {
    if (task == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> queueLock(queueMutex_);
    queue_.push_back(task);
    std::lock_guard<std::mutex> wakeLock(wakeMutex_);
    wake_.notify_one();
}

void CWorkThreadPoolImpl::Submit(std::unique_ptr<_tagAsyncParam> job, std::function<int(void*)> call,
                                 std::atomic<int>* doneCount) {
    Submit(new PoolTask(std::move(job), std::move(call), doneCount));
}

void CWorkThreadPoolImpl::Stop() {
    std::lock_guard<std::mutex> life(lifeMutex_);
    {
        // The flag is cleared under the queue mutex: a worker tests it under the same mutex just
        // before it waits, so the wake-up below cannot fall between its test and its wait.
        std::lock_guard<std::mutex> queueLock(queueMutex_);
        running_ = false;
    }
    {
        std::lock_guard<std::mutex> wakeLock(wakeMutex_);
        wake_.notify_all();
    }
    for (auto& thread : threads_) {
        if (thread && thread->joinable()) {
            thread->join();
        }
    }
    threads_.clear();
    // Tasks that never ran are freed here; their counters are not incremented.
    std::deque<PoolTask*> abandoned;
    {
        std::lock_guard<std::mutex> queueLock(queueMutex_);
        abandoned.swap(queue_);
    }
    for (PoolTask* task : abandoned) {
        delete task;
    }
}

size_t CWorkThreadPoolImpl::ThreadCount() const {
    std::lock_guard<std::mutex> life(lifeMutex_);
    return threads_.size();
}

size_t CWorkThreadPoolImpl::QueuedCount() const {
    std::lock_guard<std::mutex> queueLock(queueMutex_);
    return queue_.size();
}

void CWorkThreadPoolImpl::WorkerLoop() {
    while (running_) {
        PoolTask* task = nullptr;
        {
            std::unique_lock<std::mutex> queueLock(queueMutex_);
            if (queue_.empty()) {
                if (!running_) {
                    break;
                }
                wake_.wait(queueLock);
                if (queue_.empty()) {
                    continue;
                }
            }
            if (!running_) {
                break;
            }
            task = queue_.front();
            queue_.pop_front();
        }
        RunTask(task);
    }
}

void CWorkThreadPoolImpl::RunTask(PoolTask* task) {
    if (task == nullptr) {
        return;
    }
    if (task->call) {
        try {
            task->call(task->job.get());
        } catch (...) {
            // A worker that throws still counts as finished, or its batch would wait for ever.
            TW_LOG_INFO(L"worker ended with an exception\n");
        }
    }
    if (task->doneCount != nullptr) {
        task->doneCount->fetch_add(1);
    }
    delete task;
}

CSingletonWorkThreadPool& CSingletonWorkThreadPool::Instance() {
    static CSingletonWorkThreadPool pool;
    return pool;
}

CSingletonMergeWorkThreadPool& CSingletonMergeWorkThreadPool::Instance() {
    static CSingletonMergeWorkThreadPool pool;
    return pool;
}
