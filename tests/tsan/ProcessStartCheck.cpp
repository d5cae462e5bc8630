// Thread sanitizer builds only: starting a program with QProcess leaves the
// sanitizer's view of this process whole (tests/tsan/CloneAsFork.cpp).
// Without that, the main thread's locks stop being seen after the first
// program started, and the flag below, set and read only under its mutex,
// is reported as a race. The program also checks that QProcess still tells
// a started program's exit code and a program that cannot start.
#include <QCoreApplication>
#include <QProcess>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// A worker that waits on its flag the way the activity bar's thread does.
class Waiter
{
public:
    void start() { m_thread = std::thread(&Waiter::run, this); }
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(2), [this] { return m_stop; })) { }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "child") == 0)
        return 7;
    QCoreApplication app(argc, argv);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("child") });
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit
        || child.exitCode() != 7) {
        std::fprintf(stderr, "process-start-check: the child did not end with its code 7\n");
        return 1;
    }
    QProcess missing;
    missing.start(QStringLiteral("/nonexistent/voxlane-no-such-program"), {});
    if (missing.waitForStarted(30000) || missing.error() != QProcess::FailedToStart) {
        std::fprintf(stderr, "process-start-check: a missing program was not reported as failing to start\n");
        return 1;
    }

    for (int round = 0; round < 5; ++round) {
        Waiter waiter;
        waiter.start();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        waiter.stop();
    }
    std::printf("process-start-check: done\n");
    return 0;
}
