// A canary for the thread sanitizer set-up: runs the activity bar as the
// program does, with its frames handed from the animation thread to the GUI
// thread through Qt's event queue, and checks what ThreadSanitizer makes of
// it with tests/tsan.supp.
//
//   race_canary         the bar's own hand-off plus a queued hand-off of our
//                       data, both ordered visibly: must run without a report.
//   race_canary plant   the same, but a copy of each frame's pixels is
//                       written by the animation thread and read by the GUI
//                       thread's paint without a lock: must be reported,
//                       although the reading stack runs through Qt's event
//                       dispatch (a suppression naming Qt's libraries would
//                       hide it).
#include "components/ui/TDistractBar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

class CanaryBar : public TDistractBar
{
public:
    explicit CanaryBar(bool plant)
        : m_plant(plant)
    {
    }

    long long sum() const { return m_sum; }

protected:
    // Animation thread, right after a frame was painted into Buffer.
    void FrameReady() override
    {
        const QImage frame = Buffer();
        {
            std::unique_lock<std::mutex> lock(m_pixelsLock, std::defer_lock);
            if (!m_plant)
                lock.lock();
            const auto bytes = std::size_t(frame.sizeInBytes());
            m_pixels.resize(std::max<std::size_t>(m_pixels.size(), bytes));
            if (bytes > 0)
                std::memcpy(m_pixels.data(), frame.constBits(), bytes);
        }
        TDistractBar::FrameReady();
    }

    // GUI thread, called from Qt's event dispatch.
    void paintEvent(QPaintEvent *event) override
    {
        TDistractBar::paintEvent(event);
        std::unique_lock<std::mutex> lock(m_pixelsLock, std::defer_lock);
        if (!m_plant)
            lock.lock();
        for (std::size_t i = 0; i < m_pixels.size() && i < 64; ++i)
            m_sum += m_pixels[i];
    }

private:
    const bool m_plant;
    std::mutex m_pixelsLock;
    std::vector<unsigned char> m_pixels = std::vector<unsigned char>(64 * 1024);
    long long m_sum = 0;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool plant = argc > 1 && std::strcmp(argv[1], "plant") == 0;

    CanaryBar bar(plant);
    bar.resize(160, 20);
    bar.setInterval(1);
    bar.setProcess(apBounce);
    bar.setCaption(QStringLiteral("Voxlane"));

    // A queued hand-off of our own data, the way a handler on the animation
    // thread gives work to the GUI thread: built on one side, read on the
    // other. Qt's event queue orders the two, but invisibly; like the bar's
    // own frame requests, the hand-off holds a lock around posting that the
    // receiving side takes first, so the order is one the sanitizer sees.
    QObject receiver;
    std::mutex handOff;
    std::atomic<int> delivered { 0 };
    bar.setOnAnimate([&](DistractBarModel *) {
        std::lock_guard<std::mutex> posting(handOff);
        auto payload = std::make_shared<std::vector<int>>(16, 7);
        QMetaObject::invokeMethod(
            &receiver,
            [payload, &delivered, &handOff] {
                {
                    std::lock_guard<std::mutex> arrived(handOff);
                }
                int total = 0;
                for (int v : *payload)
                    total += v;
                if (total == 16 * 7)
                    delivered.fetch_add(1);
            },
            Qt::QueuedConnection);
    });

    bar.show();
    bar.setAnimated(true);
    QElapsedTimer clock;
    clock.start();
    // Enough frames for both threads to meet many times; bounded so that a
    // stuck bar ends the run instead of hanging it.
    while ((bar.framesShown() < 200 || delivered.load() < 200) && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    bar.setAnimated(false);
    QCoreApplication::processEvents();

    std::printf("race_canary: %s, %d frames shown, %d hand-offs, checksum %lld\n", plant ? "planted" : "clean",
        bar.framesShown(), delivered.load(), bar.sum());
    return bar.framesShown() > 0 && delivered.load() > 0 ? 0 : 1;
}
