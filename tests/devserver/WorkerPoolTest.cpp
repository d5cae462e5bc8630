// The HTTP server's worker threads on their own: every request answered
// once under the id it came with, and a stop that waits for the request
// being answered and drops the rest.
#include "WorkerPool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

using devserver::HttpRequest;
using devserver::WorkerPool;

HttpRequest get(const std::string &target)
{
    HttpRequest r;
    r.method = "GET";
    r.target = target;
    return r;
}

// What the pool's threads report, and a way to wait for it. The wait's
// limit only keeps a broken pool from hanging the test run.
class Board
{
public:
    template <class Condition> bool waitFor(Condition condition)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return condition(); });
    }
    void note(const std::function<void()> &change)
    {
        {
            std::lock_guard lock(m_mutex);
            change();
        }
        m_changed.notify_all();
    }
    std::mutex &mutex() { return m_mutex; }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

TEST(WorkerPool, EveryRequestIsAnsweredOnceUnderItsIdOffTheCallersThread)
{
    Board board;
    int wakes = 0;
    std::multiset<std::string> answered;
    bool onCallersThread = false;
    const auto caller = std::this_thread::get_id();
    WorkerPool pool(
        [&](const HttpRequest &r) {
            board.note([&] {
                answered.insert(r.target);
                onCallersThread = onCallersThread || std::this_thread::get_id() == caller;
            });
            return "reply to " + r.target;
        },
        [&] { board.note([&] { ++wakes; }); });
    pool.start(3);

    constexpr int kCount = 60;
    for (int id = 1; id <= kCount; ++id)
        pool.submit(static_cast<std::uint64_t>(id), get("/r" + std::to_string(id)));

    std::map<std::uint64_t, std::string> replies;
    int duplicates = 0;
    ASSERT_TRUE(board.waitFor([&] {
        for (auto &f : pool.takeFinished())
            duplicates += replies.emplace(f.id, f.bytes).second ? 0 : 1;
        return replies.size() == static_cast<std::size_t>(kCount);
    })) << replies.size()
        << " replies";
    pool.stop();

    EXPECT_EQ(duplicates, 0);
    for (int id = 1; id <= kCount; ++id)
        EXPECT_EQ(replies[static_cast<std::uint64_t>(id)], "reply to /r" + std::to_string(id)) << id;
    std::lock_guard lock(board.mutex());
    EXPECT_EQ(answered.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(std::set<std::string>(answered.begin(), answered.end()).size(), answered.size());
    EXPECT_EQ(wakes, kCount);
    EXPECT_FALSE(onCallersThread);
}

TEST(WorkerPool, StopWaitsForTheRequestBeingAnsweredDropsTheRestAndCanStartAgain)
{
    Board board;
    std::set<std::string> started;
    bool release = false;
    WorkerPool pool(
        [&](const HttpRequest &r) {
            board.note([&] { started.insert(r.target); });
            if (r.target == "/slow")
                board.waitFor([&] { return release; });
            return "reply to " + r.target;
        },
        nullptr);
    pool.start(1);
    pool.submit(1, get("/slow"));
    ASSERT_TRUE(board.waitFor([&] { return started.count("/slow") == 1; }));
    pool.submit(2, get("/second"));
    pool.submit(3, get("/third"));
    EXPECT_EQ(pool.waiting(), 2u);

    bool stopped = false;
    std::thread stopper([&] {
        pool.stop();
        board.note([&] { stopped = true; });
    });
    // The queue is emptied at once, while the slow request still runs.
    for (int i = 0; i < 2000 && pool.waiting() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(pool.waiting(), 0u);
    {
        std::lock_guard lock(board.mutex());
        EXPECT_FALSE(stopped) << "stop() returned while a request was being answered";
    }
    board.note([&] { release = true; });
    stopper.join();
    EXPECT_TRUE(stopped);
    {
        std::lock_guard lock(board.mutex());
        EXPECT_EQ(started, (std::set<std::string> { "/slow" }));
    }
    // A reply nobody took before the stop is gone with it.
    EXPECT_TRUE(pool.takeFinished().empty());

    pool.start(2);
    pool.submit(4, get("/again"));
    std::deque<WorkerPool::Finished> finished;
    ASSERT_TRUE(board.waitFor([&] {
        finished = pool.takeFinished();
        return !finished.empty();
    }));
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished.front().id, 4u);
    EXPECT_EQ(finished.front().bytes, "reply to /again");
}

} // namespace
