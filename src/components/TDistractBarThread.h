#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class DistractBarModel;

// The activity bar's animation thread: calls the bar's Tick, then pauses
// Interval milliseconds, until told to terminate. The pause ends at once
// when termination is asked for, so stopping never waits a whole interval.
class TDistractBarThread
{
public:
    TDistractBarThread(DistractBarModel *bar, int interval);
    ~TDistractBarThread(); // terminates and waits
    TDistractBarThread(const TDistractBarThread &) = delete;
    TDistractBarThread &operator=(const TDistractBarThread &) = delete;

    void Start();
    bool started() const { return m_thread.joinable(); }
    void Terminate();
    void WaitFor();
    // Takes effect after the pause under way.
    void setInterval(int interval) { m_interval.store(interval); }
    int Interval() const { return m_interval.load(); }
    bool isAnimationThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void Execute();

    DistractBarModel *m_bar;
    std::atomic<int> m_interval;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_terminated = false;
    std::thread m_thread;
};
