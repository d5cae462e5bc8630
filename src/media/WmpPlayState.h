#pragma once

#include <QtGlobal>

// The play states the media page and the tray menu speak, numbered as the
// player control of the original client published them.
enum class WmpPlayState : int {
    Undefined = 0,
    Stopped = 1,
    Paused = 2,
    Playing = 3,
    ScanForward = 4,
    ScanReverse = 5,
    Buffering = 6,
    Waiting = 7,
    MediaEnded = 8,
    Transitioning = 9,
    Ready = 10,
    Reconnecting = 11,
};

// Mirrors of QMediaPlayer's PlaybackState and MediaStatus, same numbers, so
// the mapping stays in the core library (no Qt Multimedia here). The player
// widget checks the numbers at compile time.
enum class PlayerPlayback : int { Stopped = 0, Playing = 1, Paused = 2 };
enum class PlayerMedia : int {
    NoMedia = 0,
    Loading = 1,
    Loaded = 2,
    Stalled = 3,
    Buffering = 4,
    Buffered = 5,
    EndOfMedia = 6,
    Invalid = 7,
};

// The state of a Qt player in the 0-11 numbering.
//   nothing set, no media, or media the platform cannot play -> Undefined
//   loading a new media, not yet started                      -> Transitioning
//   played to the end                                          -> MediaEnded
//   stalled for data                                           -> Buffering
//   playing: rate above 1 -> ScanForward, below 0 -> ScanReverse, else Playing
//   paused -> Paused; stopped -> Stopped
// A media still said to be loading whose position has moved (positionMs
// above 0) is taken as loaded: some back-ends (GStreamer without a sound
// server) never report the end of loading while they play.
// Waiting, Ready and Reconnecting belong to network streams; a local file
// never reaches them.
WmpPlayState MapPlayState(
    bool hasSource, PlayerPlayback playback, PlayerMedia media, double rate, qint64 positionMs = 0);
