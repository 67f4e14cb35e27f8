// A small fixed pool of worker threads that runs the operation workers of a batch. Batch threads
// submit one PoolTask per row and learn that their batch is finished through a done counter that
// the pool increments after every job, or - without polling - through a CBatchLatch.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/AsyncParam.h"

// Lets a batch thread wait for exactly the jobs it queued, without polling and never for ever.
//
//   auto latch = std::make_shared<CBatchLatch>();
//   for (each row) pool.Submit(std::move(job), &CAudioProcess::OnAsync…, latch);  // counts itself
//   if (!latch->Wait()) { /* the pool stopped: some jobs never ran, their outputs are missing */ }
//
// Submit with a latch adds one expected job to it before queuing. The pool counts a job finished
// after its worker returns (also when the worker throws). When the pool stops, the jobs it drops
// (still queued, or submitted after the stop) are counted finished-but-dropped, so Wait returns
// as soon as every queued job has either run or been dropped. The latch is shared by the pool's
// tasks and the batch, so it stays valid whichever side finishes last. A latch may be reused for
// several submissions; Wait waits for all of them. Thread-safe.
class CBatchLatch {
public:
    // One more job is expected (Submit with a latch calls this itself).
    void Add(int count = 1);
    // A job's worker returned.
    void CountDone();
    // A job was dropped by a stopping pool without running.
    void CountDropped();
    // Blocks until every expected job has run or been dropped. True when every one of them ran.
    bool Wait();
    // As Wait, but gives up after `timeout`: false when it timed out or when a job was dropped.
    bool WaitFor(std::chrono::milliseconds timeout);
    int Expected() const;
    int Done() const;
    int Dropped() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int expected_ = 0;
    int done_ = 0;
    int dropped_ = 0;
};

// One queued unit: the job, the worker that receives it and the batch thread's done counter
// and/or latch. Created by a batch thread, owned and deleted by the pool.
struct PoolTask {
    std::unique_ptr<_tagAsyncParam> job;
    std::function<int(void*)> call;
    std::atomic<int>* doneCount = nullptr;
    std::shared_ptr<CBatchLatch> latch;

    PoolTask() = default;
    PoolTask(std::unique_ptr<_tagAsyncParam> j, std::function<int(void*)> c, std::atomic<int>* done)
        : job(std::move(j)), call(std::move(c)), doneCount(done) {}
    PoolTask(std::unique_ptr<_tagAsyncParam> j, std::function<int(void*)> c, std::shared_ptr<CBatchLatch> l)
        : job(std::move(j)), call(std::move(c)), latch(std::move(l)) {}
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
    // Queues a task (ownership passes to the pool). A null task is ignored. A task submitted after
    // Stop never runs: it is dropped at once (its latch, if any, counts it dropped).
    void Submit(PoolTask* task);
    void Submit(std::unique_ptr<PoolTask> task) { Submit(task.release()); }
    // Convenience: wraps job, worker and counter into a task and queues it.
    void Submit(std::unique_ptr<_tagAsyncParam> job, std::function<int(void*)> call,
                std::atomic<int>* doneCount);
    // Convenience with a latch: adds one expected job to it, then queues the task.
    void Submit(std::unique_ptr<_tagAsyncParam> job, std::function<int(void*)> call,
                std::shared_ptr<CBatchLatch> latch);
    // Lets running jobs finish, joins every thread and frees the tasks still queued; their
    // latches count them dropped (done counters are not incremented). Also releases the latches
    // of a pool that was never started.
    void Stop();

    // Lets the worker that runs on this thread end its job after it returns: `rest` runs on a
    // thread of its own, and the job counts finished (done counter, latch, the callable freed) only
    // once `rest` has returned. The pool's thread meanwhile takes the next job; Stop waits for
    // every `rest`. False, and nothing started, when the calling thread is not running a pool job:
    // the caller then does the rest itself.
    static bool ContinueAfterReturn(std::function<void()> rest);

    bool IsStarted() const { return started_; }
    bool IsRunning() const { return running_.load(); }
    size_t ThreadCount() const;
    size_t QueuedCount() const;

private:
    void WorkerLoop();
    void RunTask(PoolTask* task);
    // Counts a job finished and frees it: after its worker returned and every continuation ended.
    void CompleteTask(PoolTask* task);
    static void DropTask(PoolTask* task);
    // Starts a continuation's thread; joins those that have ended.
    void StartContinuation(std::function<void()> rest);
    // Joins every continuation once no job is outstanding any more.
    void JoinContinuations();

    mutable std::mutex queueMutex_;
    std::deque<PoolTask*> queue_;
    std::atomic<bool> running_{false};
    bool started_ = false;
    bool stopped_ = false;  // set by Stop under the queue mutex; later submissions are dropped
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<std::thread>> threads_;
    mutable std::mutex lifeMutex_;  // serialises Start and Stop against each other

    // Jobs taken from the queue and not yet complete (a continuation may outlive the worker).
    std::mutex outstandingMutex_;
    std::condition_variable outstandingDone_;
    int outstanding_ = 0;
    struct Continuation {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    std::mutex continuationsMutex_;
    std::vector<Continuation> continuations_;
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
