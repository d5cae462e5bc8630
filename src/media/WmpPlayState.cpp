#include "media/WmpPlayState.h"

WmpPlayState MapPlayState(
    bool hasSource, PlayerPlayback playback, PlayerMedia media, double rate, qint64 positionMs)
{
    if (!hasSource)
        return WmpPlayState::Undefined;
    switch (media) {
    case PlayerMedia::NoMedia:
    case PlayerMedia::Invalid:
        return WmpPlayState::Undefined;
    case PlayerMedia::Loading:
        if (positionMs <= 0)
            return WmpPlayState::Transitioning;
        break;
    case PlayerMedia::EndOfMedia:
        return WmpPlayState::MediaEnded;
    case PlayerMedia::Stalled:
        if (playback == PlayerPlayback::Playing)
            return WmpPlayState::Buffering;
        break;
    case PlayerMedia::Loaded:
    case PlayerMedia::Buffering:
    case PlayerMedia::Buffered:
        break;
    }
    switch (playback) {
    case PlayerPlayback::Playing:
        if (rate > 1.0)
            return WmpPlayState::ScanForward;
        if (rate < 0.0)
            return WmpPlayState::ScanReverse;
        return WmpPlayState::Playing;
    case PlayerPlayback::Paused:
        return WmpPlayState::Paused;
    case PlayerPlayback::Stopped:
        return WmpPlayState::Stopped;
    }
    return WmpPlayState::Undefined;
}
