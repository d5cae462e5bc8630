#pragma once

#include "components/RbDrawCore.h"

#include <functional>

// The timer a fade runs on. The control gives its own window timer; tests
// give a clock they advance by hand.
class RbFadeTimer
{
public:
    virtual ~RbFadeTimer() = default;
    virtual void startFadeTimer(int periodMs) = 0;
    virtual void stopFadeTimer() = 0;
};

// The fade between the normal, hot and pressed looks of a styled control:
// two state flags, two blend levels (0..100) and the step the timer runs.
// It knows nothing of windows; it asks for a repaint through onRepaint.
class RbFadeEngine
{
public:
    enum StepHandler { NoStep, FadeIn, FadeOut };

    explicit RbFadeEngine(RbFadeTimer &timer);

    std::function<void()> onRepaint;

    int OverFade = 0;
    int ClickFade = 0;
    bool IsHot = false;
    bool IsPressed = false;
    TFadeSpeed FadeSpeed = fsMedium;
    StepHandler FadeStepHandler = NoStep;

    bool Running() const { return m_running; }

    void StartFade();
    void StopFade();
    void FadeInStep();
    void FadeOutStep();
    // One tick of the fade timer: runs the current step. A failing step
    // must never take the control down, so its error is dropped.
    void TimerFired();

private:
    void repaint();

    RbFadeTimer &m_timer;
    bool m_running = false;
};
