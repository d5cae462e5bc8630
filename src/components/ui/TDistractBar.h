#pragma once

#include "components/DistractBarModel.h"

#include <QWidget>

#include <atomic>
#include <mutex>

// The activity bar control: a row (or column) of bars animated by a thread
// of its own. The thread paints each frame into the off-screen Buffer; the
// window only ever shows Buffer, on the GUI thread, once per frame.
class TDistractBar : public QWidget, public DistractBarModel
{
    Q_OBJECT

public:
    explicit TDistractBar(QWidget *parent = nullptr);
    ~TDistractBar() override;

    // Frames shown on screen so far (each tick's frame once at most).
    int framesShown() const { return m_framesShown; }

protected:
    void FrameReady() override;
    // GUI side of a frame request from the animation thread.
    Q_INVOKABLE void showFrame();
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    std::atomic<bool> m_displayPending { false };
    // Held around posting a frame request and taken by the GUI side when it
    // arrives: the hand-off through Qt's event queue then also shows as
    // ordered to tools that cannot see inside Qt (the thread sanitizer).
    std::mutex m_requestLock;
    int m_framesShown = 0;
};
