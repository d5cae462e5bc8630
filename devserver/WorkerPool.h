#pragma once

#include "HttpMessage.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace devserver {

// A few threads that answer complete requests, so that the thread holding
// the connections never waits on an answer (the database, a picture to
// decode). A request goes in with the id of its connection; its reply comes
// out as the bytes to send, and `wake` is called from the worker each time
// one is ready, for the owner to come and take it.
class WorkerPool
{
public:
    using Answer = std::function<std::string(const HttpRequest &)>;
    using Wake = std::function<void()>;

    struct Finished
    {
        std::uint64_t id;
        std::string bytes;
    };

    WorkerPool(Answer answer, Wake wake);
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // Starts that many threads (at least one).
    void start(int threads);
    // Returns once every thread has ended, each after the request it is
    // answering; requests not started yet and replies not taken are
    // dropped. The pool may be started again.
    void stop();

    void submit(std::uint64_t id, HttpRequest request);
    // The replies ready so far, oldest first.
    std::deque<Finished> takeFinished();
    // Requests no thread has started on yet.
    std::size_t waiting() const;

private:
    struct Job
    {
        std::uint64_t id;
        HttpRequest request;
    };

    void loop();

    Answer m_answer;
    Wake m_wake;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Job> m_jobs;
    std::deque<Finished> m_finished;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace devserver
