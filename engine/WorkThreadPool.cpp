#include "engine/WorkThreadPool.h"

#include <algorithm>

#include "logging/Log.h"

namespace {

// The job the calling pool thread is running, so that its worker can keep it open past its return.
struct RunningJob {
    CWorkThreadPoolImpl* pool = nullptr;
    std::shared_ptr<PoolTask>* task = nullptr;
};
thread_local RunningJob t_running;

}  // namespace

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

void CBatchLatch::Add(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    expected_ += count;
}

void CBatchLatch::CountDone() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++done_;
    }
    changed_.notify_all();
}

void CBatchLatch::CountDropped() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++dropped_;
    }
    changed_.notify_all();
}

bool CBatchLatch::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return done_ + dropped_ >= expected_; });
    return dropped_ == 0;
}

bool CBatchLatch::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return done_ + dropped_ >= expected_; })) {
        return false;
    }
    return dropped_ == 0;
}

int CBatchLatch::Expected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return expected_;
}

int CBatchLatch::Done() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

int CBatchLatch::Dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

void CWorkThreadPoolImpl::Submit(PoolTask* task) {
    if (task == nullptr) {
        return;
    }
    std::unique_lock<std::mutex> queueLock(queueMutex_);
    if (stopped_) {
        queueLock.unlock();
        DropTask(task);
        return;
    }
    queue_.push_back(task);
    std::lock_guard<std::mutex> wakeLock(wakeMutex_);
    wake_.notify_one();
}

void CWorkThreadPoolImpl::Submit(std::unique_ptr<_tagAsyncParam> job, std::function<int(void*)> call,
                                 std::atomic<int>* doneCount) {
    Submit(new PoolTask(std::move(job), std::move(call), doneCount));
}

void CWorkThreadPoolImpl::Submit(std::unique_ptr<_tagAsyncParam> job, std::function<int(void*)> call,
                                 std::shared_ptr<CBatchLatch> latch) {
    if (latch) {
        latch->Add();
    }
    Submit(new PoolTask(std::move(job), std::move(call), std::move(latch)));
}

void CWorkThreadPoolImpl::Stop() {
    std::lock_guard<std::mutex> life(lifeMutex_);
    {
        // The flag is cleared under the queue mutex: a worker tests it under the same mutex just
        // before it waits, so the wake-up below cannot fall between its test and its wait.
        std::lock_guard<std::mutex> queueLock(queueMutex_);
        running_ = false;
        stopped_ = true;
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
    // Tasks that never ran are freed here; their counters are not incremented, their latches
    // count them dropped (after the joins, so nothing of the batch runs any more).
    std::deque<PoolTask*> abandoned;
    {
        std::lock_guard<std::mutex> queueLock(queueMutex_);
        abandoned.swap(queue_);
    }
    for (PoolTask* task : abandoned) {
        DropTask(task);
    }
    JoinContinuations();
}

bool CWorkThreadPoolImpl::ContinueAfterReturn(std::function<void()> rest) {
    if (t_running.pool == nullptr || t_running.task == nullptr || !rest) {
        return false;
    }
    // The continuation owns a share of the job: the job completes when the last share goes.
    std::shared_ptr<PoolTask> hold = *t_running.task;
    t_running.pool->StartContinuation([rest = std::move(rest), hold = std::move(hold)]() mutable {
        try {
            rest();
        } catch (...) {
            TW_LOG_INFO(L"worker continuation ended with an exception\n");
        }
        rest = nullptr;
        hold.reset();
    });
    return true;
}

void CWorkThreadPoolImpl::StartContinuation(std::function<void()> rest) {
    std::lock_guard<std::mutex> lock(continuationsMutex_);
    for (auto it = continuations_.begin(); it != continuations_.end();) {
        if (it->ended->load()) {
            it->thread.join();
            it = continuations_.erase(it);
        } else {
            ++it;
        }
    }
    auto ended = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([rest = std::move(rest), ended]() mutable {
        rest();
        rest = nullptr;
        ended->store(true);
    });
    continuations_.push_back(Continuation{std::move(thread), std::move(ended)});
}

void CWorkThreadPoolImpl::JoinContinuations() {
    {
        std::unique_lock<std::mutex> lock(outstandingMutex_);
        outstandingDone_.wait(lock, [this] { return outstanding_ == 0; });
    }
    std::vector<Continuation> ending;
    {
        std::lock_guard<std::mutex> lock(continuationsMutex_);
        ending.swap(continuations_);
    }
    for (auto& c : ending) {
        if (c.thread.joinable()) c.thread.join();
    }
}

void CWorkThreadPoolImpl::DropTask(PoolTask* task) {
    if (task->latch) {
        task->latch->CountDropped();
    }
    delete task;
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
    {
        std::lock_guard<std::mutex> lock(outstandingMutex_);
        ++outstanding_;
    }
    // The job completes when the last share of it goes: here after the worker returned, or at
    // the end of a continuation the worker started.
    std::shared_ptr<PoolTask> owner(task, [this](PoolTask* t) { CompleteTask(t); });
    if (owner->call) {
        t_running = RunningJob{this, &owner};
        try {
            owner->call(owner->job.get());
        } catch (...) {
            // A worker that throws still counts as finished, or its batch would wait for ever.
            TW_LOG_INFO(L"worker ended with an exception\n");
        }
        t_running = RunningJob{};
    }
}

void CWorkThreadPoolImpl::CompleteTask(PoolTask* task) {
    if (task->doneCount != nullptr) {
        task->doneCount->fetch_add(1);
    }
    std::shared_ptr<CBatchLatch> latch = std::move(task->latch);
    delete task;  // the job is freed before its batch is told
    if (latch) {
        latch->CountDone();
    }
    // Notified under the lock: once Stop sees no job outstanding, the pool may be destroyed.
    std::lock_guard<std::mutex> lock(outstandingMutex_);
    --outstanding_;
    outstandingDone_.notify_all();
}

CSingletonWorkThreadPool& CSingletonWorkThreadPool::Instance() {
    static CSingletonWorkThreadPool pool;
    return pool;
}

CSingletonMergeWorkThreadPool& CSingletonMergeWorkThreadPool::Instance() {
    static CSingletonMergeWorkThreadPool pool;
    return pool;
}
