// The worker pool: thread count rules, done counters, order, and what Stop does with queued work.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/WorkThreadPool.h"

namespace {

// Blocks the test until a counter reaches a value (no sleeping; woken by yields).
void WaitFor(const std::atomic<int>& counter, int value) {
    while (counter.load() < value) {
        std::this_thread::yield();
    }
}

// A gate that jobs can block on until the test opens it.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    std::atomic<int> arrived{0};
    void Pass() {
        arrived.fetch_add(1);
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [this] { return open; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(m);
        open = true;
        cv.notify_all();
    }
};

std::unique_ptr<_tagAsyncParam> Job(const std::wstring& input) {
    auto job = std::make_unique<_tagAsyncParam>();
    job->input = input;
    return job;
}

}  // namespace

TEST(WorkThreadPool, ThreadCountFollowsHardwareAndSecondStartDoesNothing) {
    CWorkThreadPoolImpl pool;
    pool.StartWith(5, 3);
    EXPECT_TRUE(pool.IsStarted());
    EXPECT_EQ(pool.ThreadCount(), 3u);
    pool.StartWith(5, 8);
    pool.Start(5);
    EXPECT_EQ(pool.ThreadCount(), 3u) << "a second start must keep the first thread count";

    CWorkThreadPoolImpl fewer;
    fewer.StartWith(2, 16);
    EXPECT_EQ(fewer.ThreadCount(), 2u);
}

TEST(WorkThreadPool, UnknownHardwareCountStillGivesOneThreadThatRunsJobs) {
    CWorkThreadPoolImpl pool;
    pool.StartWith(5, 0);
    ASSERT_EQ(pool.ThreadCount(), 1u);
    std::atomic<int> done{0};
    std::wstring seen;
    pool.Submit(
        Job(L"only"),
        [&seen](void* p) {
            seen = static_cast<_tagAsyncParam*>(p)->input;
            return 0;
        },
        &done);
    WaitFor(done, 1);
    EXPECT_EQ(seen, L"only");
}

TEST(WorkThreadPool, OneJobBatchFinishesWhenItsJobReturns) {
    CWorkThreadPoolImpl pool;
    pool.Start(5);
    std::atomic<int> done{0};
    Gate gate;
    pool.Submit(
        Job(L"a.wav"),
        [&gate](void*) {
            gate.Pass();
            return 0;
        },
        &done);
    WaitFor(gate.arrived, 1);
    EXPECT_EQ(done.load(), 0) << "the counter must not move before the worker returns";
    gate.Open();
    WaitFor(done, 1);
    EXPECT_EQ(done.load(), 1);
}

TEST(WorkThreadPool, SeveralBatchesCountTheirOwnJobsAndRunAtMostThreadCountAtOnce) {
    CWorkThreadPoolImpl pool;
    pool.StartWith(5, 4);
    const size_t threads = pool.ThreadCount();
    std::atomic<int> active{0}, peak{0};
    auto work = [&](void*) {
        int now = active.fetch_add(1) + 1;
        int old = peak.load();
        while (now > old && !peak.compare_exchange_weak(old, now)) {
        }
        std::this_thread::yield();
        active.fetch_sub(1);
        return 0;
    };
    std::atomic<int> doneA{0}, doneB{0};
    std::thread batchA([&] {
        for (int i = 0; i < 40; ++i) pool.Submit(Job(L"a"), work, &doneA);
    });
    std::thread batchB([&] {
        for (int i = 0; i < 25; ++i) pool.Submit(Job(L"b"), work, &doneB);
    });
    batchA.join();
    batchB.join();
    WaitFor(doneA, 40);
    WaitFor(doneB, 25);
    EXPECT_EQ(doneA.load(), 40);
    EXPECT_EQ(doneB.load(), 25);
    EXPECT_GE(peak.load(), 1);
    EXPECT_LE(static_cast<size_t>(peak.load()), threads);
}

TEST(WorkThreadPool, OneThreadRunsJobsInSubmissionOrder) {
    CWorkThreadPoolImpl pool;
    pool.StartWith(1, 1);
    std::vector<std::wstring> order;
    std::atomic<int> done{0};
    for (int i = 0; i < 6; ++i) {
        pool.Submit(
            Job(std::to_wstring(i)),
            [&order](void* p) {
                order.push_back(static_cast<_tagAsyncParam*>(p)->input);
                return 0;
            },
            &done);
    }
    WaitFor(done, 6);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"0", L"1", L"2", L"3", L"4", L"5"}));
}

TEST(WorkThreadPool, JobsSubmittedBeforeStartRunAfterIt) {
    CWorkThreadPoolImpl pool;
    std::atomic<int> done{0};
    pool.Submit(
        Job(L"early"), [](void*) { return 0; }, &done);
    pool.Submit(nullptr);  // ignored
    EXPECT_EQ(pool.QueuedCount(), 1u);
    pool.Start(2);
    WaitFor(done, 1);
    EXPECT_EQ(pool.QueuedCount(), 0u);
}

TEST(WorkThreadPool, ThrowingWorkerStillCountsSoTheBatchEnds) {
    CWorkThreadPoolImpl pool;
    pool.StartWith(1, 1);
    std::atomic<int> done{0};
    pool.Submit(
        Job(L"x"), [](void*) -> int { throw std::runtime_error("tool failed"); }, &done);
    pool.Submit(
        Job(L"y"), [](void*) { return 0; }, &done);
    WaitFor(done, 2);
    EXPECT_EQ(done.load(), 2);
}

TEST(WorkThreadPool, StopLetsTheRunningJobFinishAndFreesQueuedTasksWithoutRunningThem) {
    auto sentinel = std::make_shared<int>(0);
    std::atomic<int> ranQueued{0};
    std::atomic<int> done{0};
    Gate gate;
    {
        CWorkThreadPoolImpl pool;
        pool.StartWith(1, 1);
        pool.Submit(
            Job(L"running"),
            [&gate](void*) {
                gate.Pass();
                return 0;
            },
            &done);
        WaitFor(gate.arrived, 1);
        for (int i = 0; i < 3; ++i) {
            pool.Submit(
                Job(L"queued"),
                [sentinel, &ranQueued](void*) {
                    ranQueued.fetch_add(1);
                    return 0;
                },
                &done);
        }
        EXPECT_EQ(pool.QueuedCount(), 3u);
        EXPECT_EQ(sentinel.use_count(), 4);

        std::thread stopper([&pool] { pool.Stop(); });
        while (pool.IsRunning()) {
            std::this_thread::yield();
        }
        gate.Open();  // the running job may finish only once Stop has cleared the running flag
        stopper.join();

        EXPECT_EQ(done.load(), 1) << "the running job finishes and is counted";
        EXPECT_EQ(ranQueued.load(), 0) << "queued jobs are dropped";
        EXPECT_EQ(pool.QueuedCount(), 0u);
        EXPECT_EQ(pool.ThreadCount(), 0u);
        EXPECT_EQ(sentinel.use_count(), 1) << "queued tasks and their callables are freed by Stop";

        // A stopped pool is not restarted.
        pool.Start(5);
        EXPECT_EQ(pool.ThreadCount(), 0u);
        pool.Stop();  // a second Stop is harmless
    }
}

TEST(WorkThreadPool, StopRightAfterStartOnAnIdlePoolReturns) {
    for (int i = 0; i < 50; ++i) {
        CWorkThreadPoolImpl pool;
        pool.StartWith(3, 3);
        pool.Stop();
        EXPECT_EQ(pool.ThreadCount(), 0u);
    }
}

TEST(WorkThreadPool, SingletonsAreDistinctProcessWideInstances) {
    CWorkThreadPoolImpl* general = &CSingletonWorkThreadPool::Instance();
    CWorkThreadPoolImpl* merge = &CSingletonMergeWorkThreadPool::Instance();
    EXPECT_EQ(general, &CSingletonWorkThreadPool::Instance());
    EXPECT_EQ(merge, &CSingletonMergeWorkThreadPool::Instance());
    EXPECT_NE(general, merge);
    EXPECT_FALSE(CSingletonMergeWorkThreadPool::Instance().IsStarted());
}

TEST(BatchLatch, WaitsForExactlyTheQueuedJobsAndIsReleasedByStop) {
    CWorkThreadPoolImpl pool;
    pool.StartWith(1, 1);
    Gate gate;
    std::atomic<int> ran{0};
    auto latch = std::make_shared<CBatchLatch>();
    pool.Submit(
        Job(L"a"),
        [&](void*) {
            gate.Pass();
            ran.fetch_add(1);
            return 0;
        },
        latch);
    pool.Submit(
        Job(L"b"),
        [&](void*) {
            ran.fetch_add(1);
            return 0;
        },
        latch);
    pool.Submit(
        Job(L"c"),
        [&](void*) {
            ran.fetch_add(1);
            return 0;
        },
        latch);
    EXPECT_EQ(latch->Expected(), 3);
    WaitFor(gate.arrived, 1);
    EXPECT_FALSE(latch->WaitFor(std::chrono::milliseconds(0))) << "nothing has finished yet";

    // Stop while the first job runs: it finishes, the other two are dropped, the waiter is free.
    std::atomic<bool> released{false};
    bool allRan = true;
    std::thread waiter([&] {
        allRan = latch->Wait();
        released = true;
    });
    std::thread stopper([&] { pool.Stop(); });
    // The first job may end only once the pool has been told to stop, or the free worker would
    // take the next job first.
    for (int i = 0; i < 2000 && pool.IsRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(pool.IsRunning());
    gate.Open();
    stopper.join();
    waiter.join();
    EXPECT_TRUE(released.load());
    EXPECT_FALSE(allRan);
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(latch->Done(), 1);
    EXPECT_EQ(latch->Dropped(), 2);

    // A job submitted to the stopped pool is dropped at once instead of waiting for ever.
    auto late = std::make_shared<CBatchLatch>();
    pool.Submit(
        Job(L"d"),
        [&](void*) {
            ran.fetch_add(1);
            return 0;
        },
        late);
    EXPECT_FALSE(late->Wait());
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(pool.QueuedCount(), 0u);
}

TEST(BatchLatch, CompletedBatchAndNeverStartedPool) {
    CWorkThreadPoolImpl pool;
    pool.StartWith(2, 2);
    auto latch = std::make_shared<CBatchLatch>();
    std::atomic<int> ran{0};
    for (int i = 0; i < 5; ++i) {
        pool.Submit(
            Job(L"x"),
            [&](void*) {
                ran.fetch_add(1);
                return 0;
            },
            latch);
    }
    EXPECT_TRUE(latch->Wait());
    EXPECT_EQ(ran.load(), 5);
    EXPECT_EQ(latch->Done(), 5);
    EXPECT_TRUE(std::make_shared<CBatchLatch>()->Wait()) << "an empty batch does not wait";
    pool.Stop();

    // A pool that never started (as the merge pool) still releases its batch when stopped.
    CWorkThreadPoolImpl idle;
    auto waiting = std::make_shared<CBatchLatch>();
    idle.Submit(
        Job(L"y"), [](void*) { return 0; }, waiting);
    std::thread waiter([&] { EXPECT_FALSE(waiting->Wait()); });
    idle.Stop();
    waiter.join();
    EXPECT_EQ(waiting->Dropped(), 1);
}

TEST(WorkThreadPool, ContinuationKeepsItsJobOpenWhileTheThreadTakesTheNextJob) {
    CWorkThreadPoolImpl pool;
    pool.StartWith(1, 1);
    Gate gate;
    std::atomic<int> secondRan{0};
    std::atomic<bool> continued{false};
    auto first = std::make_shared<CBatchLatch>();
    auto second = std::make_shared<CBatchLatch>();
    pool.Submit(
        Job(L"a"),
        [&](void*) {
            continued = CWorkThreadPoolImpl::ContinueAfterReturn([&] { gate.Pass(); });
            return 0;
        },
        first);
    pool.Submit(
        Job(L"b"),
        [&](void*) {
            secondRan.fetch_add(1);
            return 0;
        },
        second);

    // The only pool thread is free for the second job while the first one's continuation waits.
    EXPECT_TRUE(second->WaitFor(std::chrono::seconds(30)));
    EXPECT_EQ(secondRan.load(), 1);
    WaitFor(gate.arrived, 1);
    EXPECT_TRUE(continued.load());
    EXPECT_EQ(first->Done(), 0) << "the job is not finished before its continuation ends";

    gate.Open();
    EXPECT_TRUE(first->WaitFor(std::chrono::seconds(30)));
    EXPECT_EQ(first->Done(), 1);
}

TEST(WorkThreadPool, StopWaitsForContinuationsAndOutsideAPoolNothingContinues) {
    EXPECT_FALSE(CWorkThreadPoolImpl::ContinueAfterReturn([] {}))
        << "a thread that runs no pool job has nothing to continue";

    std::atomic<int> done{0};
    std::atomic<int> ended{0};
    Gate gate;
    CWorkThreadPoolImpl pool;
    pool.StartWith(2, 2);
    for (int i = 0; i < 2; ++i) {
        pool.Submit(
            Job(L"x"),
            [&](void*) {
                CWorkThreadPoolImpl::ContinueAfterReturn([&] {
                    gate.Pass();
                    ended.fetch_add(1);
                });
                return 0;
            },
            &done);
    }
    WaitFor(gate.arrived, 2);
    std::thread opener([&] {
        // Stop below is already waiting (or about to) when the gate opens; either way it may only
        // return after both continuations have ended and both jobs were counted.
        std::this_thread::yield();
        gate.Open();
    });
    pool.Stop();
    EXPECT_EQ(ended.load(), 2);
    EXPECT_EQ(done.load(), 2);
    opener.join();
}
