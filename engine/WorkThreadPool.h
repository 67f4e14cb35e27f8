// A small fixed pool of worker threads that runs the operation workers of a batch. Batch threads
// submit one PoolTask per row and learn that their batch is finished through a done counter that
// the pool increments after every job.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/AsyncParam.h"

// One queued unit: the job, the worker that receives it and the batch thread's done counter.
// Created by a batch thread, owned and deleted by the pool.
struct PoolTask {
    std::unique_ptr<_tagAsyncParam> job;
    std::function<int(void*)> call;
    std::atomic<int>* doneCount = nullptr;

    PoolTask() = default;
    PoolTask(std::unique_ptr<_tagAsyncParam> j, std::function<int(void*)> c, std::atomic<int>* done)
        : job(std::move(j)), call(std::move(c)), doneCount(done) {}
};

class CWorkThreadPoolImpl {
public:
    CWorkThreadPoolImpl() = default;
    virtual ~CWorkThreadPoolImpl();
    CWorkThreadPoolImpl(const CWorkThreadPoolImpl&) = delete;
    CWorkThreadPoolImpl& operator=(const CWorkThreadPoolImpl&) = delete;

    // Creates min(hardware threads, n) worker threads, at least one. A second Start does nothing.
    void Start(unsigned n);
    // Start with an explicit count of hardware threads (0 means "unknown").
    void StartWith(unsigned n, unsigned hardwareThreads);
    // Queues a task (ownership passes to the pool). A null task is ignored.
    void Submit(PoolTask* task);
    void Submit(std::unique_ptr<PoolTask> task) { Submit(task.release()); }
    // Convenience: wraps job, worker and counter into a task and queues it.
    void Submit(std::unique_ptr<_tagAsyncParam> job, std::function<int(void*)> call,
                std::atomic<int>* doneCount);
    // Lets running jobs finish, joins every thread and frees the tasks still queued.
    void Stop();

    bool IsStarted() const { return started_; }
    bool IsRunning() const { return running_.load(); }
    size_t ThreadCount() const;
    size_t QueuedCount() const;

private:
    void WorkerLoop();
    static void RunTask(PoolTask* task);

    mutable std::mutex queueMutex_;
    std::deque<PoolTask*> queue_;
    std::atomic<bool> running_{false};
    bool started_ = false;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<std::thread>> threads_;
    mutable std::mutex lifeMutex_;  // serialises Start and Stop against each other
};

// The general pool that every tool page queues on; created on first use.
class CSingletonWorkThreadPool : public CWorkThreadPoolImpl {
public:
    static CSingletonWorkThreadPool& Instance();
};

// A second pool with its own identity; created and stopped by the main window, never started.
class CSingletonMergeWorkThreadPool : public CWorkThreadPoolImpl {
public:
    static CSingletonMergeWorkThreadPool& Instance();
};
