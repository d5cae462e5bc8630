#include "components/RbFadeEngine.h"

#include <algorithm>

RbFadeEngine::RbFadeEngine(RbFadeTimer &timer)
    : m_timer(timer)
{
}

void RbFadeEngine::repaint()
{
    if (onRepaint)
        onRepaint();
}

void RbFadeEngine::StartFade()
{
    m_timer.stopFadeTimer();
    m_timer.startFadeTimer(RbDrawCore::fadePeriod(FadeSpeed));
    m_running = true;
}

void RbFadeEngine::StopFade()
{
    m_timer.stopFadeTimer();
    m_running = false;
}

void RbFadeEngine::FadeInStep()
{
    if (IsPressed && IsHot) {
        if (ClickFade >= 100) {
            ClickFade = 100;
            repaint();
            StopFade();
            return;
        }
        ClickFade += 25;
    } else {
        if (ClickFade > 0)
            ClickFade -= 25;
        if (OverFade < 100)
            OverFade = std::min(100, OverFade + 10);
        if (ClickFade <= 0 && OverFade >= 100) {
            ClickFade = 0;
            repaint();
            StopFade();
            return;
        }
    }
    repaint();
}

void RbFadeEngine::FadeOutStep()
{
    if (ClickFade > 0)
        ClickFade -= 25;
    if (OverFade > 0 || ClickFade > 0) {
        OverFade = std::max(0, OverFade - 10);
    } else {
        OverFade = 0;
        ClickFade = 0;
        StopFade();
    }
    repaint();
}

void RbFadeEngine::TimerFired()
{
    try {
        switch (FadeStepHandler) {
        case FadeIn:
            FadeInStep();
            break;
        case FadeOut:
            FadeOutStep();
            break;
        case NoStep:
            break;
        }
    } catch (...) {
        // A fade is cosmetic: whatever went wrong, the control goes on.
    }
}
