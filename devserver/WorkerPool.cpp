#include "WorkerPool.h"

#include <algorithm>
#include <utility>

namespace devserver {

WorkerPool::WorkerPool(Answer answer, Wake wake)
    : m_answer(std::move(answer))
    , m_wake(std::move(wake))
{
}

WorkerPool::~WorkerPool()
{
    stop();
}

void WorkerPool::start(int threads)
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = false;
    }
    for (int i = 0; i < std::max(1, threads); ++i)
        m_threads.emplace_back([this] { loop(); });
}

void WorkerPool::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    m_ready.notify_all();
    for (auto &t : m_threads)
        t.join();
    m_threads.clear();
    std::lock_guard lock(m_mutex);
    m_finished.clear();
}

void WorkerPool::submit(std::uint64_t id, HttpRequest request)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({ id, std::move(request) });
    }
    m_ready.notify_one();
}

std::deque<WorkerPool::Finished> WorkerPool::takeFinished()
{
    std::deque<Finished> out;
    std::lock_guard lock(m_mutex);
    out.swap(m_finished);
    return out;
}

std::size_t WorkerPool::waiting() const
{
    std::lock_guard lock(m_mutex);
    return m_jobs.size();
}

void WorkerPool::loop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        std::string bytes = m_answer(job.request);
        {
            std::lock_guard lock(m_mutex);
            m_finished.push_back({ job.id, std::move(bytes) });
        }
        if (m_wake)
            m_wake();
    }
}

} // namespace devserver
