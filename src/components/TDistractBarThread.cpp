#include "components/TDistractBarThread.h"

#include "base/ErrorReport.h"
#include "components/DistractBarModel.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>
#include <exception>

namespace {

// Held while a failure is posted to the GUI thread and taken there before
// the message is read: the hand-off through Qt's event queue then also shows
// as ordered to tools that cannot see inside Qt (the thread sanitizer). It
// outlives the thread, which may be gone when the message arrives.
std::mutex reportHandOff;

} // namespace

TDistractBarThread::TDistractBarThread(DistractBarModel *bar, int interval)
    : m_bar(bar)
    , m_interval(interval)
{
}

TDistractBarThread::~TDistractBarThread()
{
    Terminate();
    WaitFor();
}

void TDistractBarThread::Start()
{
    if (!m_thread.joinable())
        m_thread = std::thread(&TDistractBarThread::Execute, this);
}

void TDistractBarThread::Terminate()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_terminated = true;
    }
    m_wake.notify_all();
}

void TDistractBarThread::WaitFor()
{
    if (m_thread.joinable() && !isAnimationThread())
        m_thread.join();
}

void TDistractBarThread::Execute()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_terminated)
                return;
        }
        try {
            m_bar->Tick();
        } catch (...) {
            // A failing OnAnimate handler: the error report belongs to the
            // GUI thread, the animation goes on.
            QString message;
            try {
                throw;
            } catch (const std::exception &e) {
                message = QString::fromUtf8(e.what());
            } catch (...) {
                message = QStringLiteral("Unknown error");
            }
            if (QCoreApplication *app = QCoreApplication::instance()) {
                const std::lock_guard<std::mutex> posting(reportHandOff);
                QMetaObject::invokeMethod(
                    app,
                    [message] {
                        {
                            const std::lock_guard<std::mutex> posted(reportHandOff);
                        }
                        ErrorReport::report(message);
                    },
                    Qt::QueuedConnection);
            }
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        const int pause = m_interval.load();
        m_wake.wait_for(
            lock, std::chrono::milliseconds(pause > 0 ? pause : 0), [this] { return m_terminated; });
        if (m_terminated)
            return;
    }
}
