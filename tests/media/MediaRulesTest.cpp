#include "media/MediaRules.h"
#include "media/WmpPlayState.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

using MediaRules::PlayerAction;
using MediaRules::PlayerItem;

TEST(PlayStateMapping, QtPlayerStatesGiveTheNumberedStates)
{
    using P = PlayerPlayback;
    using M = PlayerMedia;
    const struct
    {
        bool source;
        P playback;
        M media;
        double rate;
        int expected;
        qint64 position = 0;
    } table[] = {
        { false, P::Stopped, M::NoMedia, 1.0, 0 },
        { false, P::Playing, M::Buffered, 1.0, 0 }, // no source wins
        { true, P::Stopped, M::NoMedia, 1.0, 0 },
        { true, P::Stopped, M::Invalid, 1.0, 0 },
        { true, P::Playing, M::Invalid, 1.0, 0 },
        { true, P::Stopped, M::Loading, 1.0, 9 },
        { true, P::Playing, M::Loading, 1.0, 9 },
        { true, P::Stopped, M::Loaded, 1.0, 1 },
        { true, P::Stopped, M::Buffered, 1.0, 1 },
        { true, P::Paused, M::Buffered, 1.0, 2 },
        { true, P::Paused, M::Stalled, 1.0, 2 },
        { true, P::Playing, M::Buffered, 1.0, 3 },
        { true, P::Playing, M::Buffering, 1.0, 3 },
        { true, P::Playing, M::Buffered, 2.0, 4 },
        { true, P::Playing, M::Buffered, -1.0, 5 },
        { true, P::Playing, M::Buffered, 0.5, 3 },
        { true, P::Playing, M::Stalled, 1.0, 6 },
        { true, P::Stopped, M::EndOfMedia, 1.0, 8 },
    };
    for (const auto &row : table) {
        EXPECT_EQ(
            int(MapPlayState(row.source, row.playback, row.media, row.rate, row.position)), row.expected)
            << "source " << row.source << " playback " << int(row.playback) << " media " << int(row.media)
            << " rate " << row.rate << " position " << row.position;
    }
}

TEST(PlayerItem, CaptionPictureEnabledAndTagFollowTheState)
{
    const PlayerItem before { QStringLiteral("avant"), 4, true, 3 };
    const struct
    {
        int state;
        QString caption;
        int image;
        bool enabled;
    } table[] = {
        { 0, QStringLiteral("Pas de lecture"), 4, false },
        { 1, QStringLiteral("Player : Lecture"), 8, true },
        { 2, QStringLiteral("Player : Lecture"), 8, true },
        { 3, QStringLiteral("Player : Pause"), 9, true },
        { 4, QStringLiteral("avant"), 4, true },
        { 6, QStringLiteral("avant"), 4, true },
        { 8, QStringLiteral("avant"), 4, true },
        { 9, QStringLiteral("avant"), 4, true },
        { 11, QStringLiteral("avant"), 4, true },
    };
    for (const auto &row : table) {
        const PlayerItem item = MediaRules::PlayerItemFor(row.state, before);
        EXPECT_EQ(item.caption, row.caption) << row.state;
        EXPECT_EQ(item.imageIndex, row.image) << row.state;
        EXPECT_EQ(item.enabled, row.enabled) << row.state;
        EXPECT_EQ(item.tag, row.state);
    }
}

TEST(PlayerItem, ChoosingPlaysPausesOrDoesNothingByTag)
{
    const struct
    {
        int tag;
        PlayerAction action;
    } table[] = {
        { 0, PlayerAction::None },
        { 1, PlayerAction::Play },
        { 2, PlayerAction::Play },
        { 3, PlayerAction::Pause },
        { 8, PlayerAction::None },
        { 10, PlayerAction::None },
        { -1, PlayerAction::None },
    };
    for (const auto &row : table)
        EXPECT_EQ(MediaRules::PlayerActionFor(row.tag), row.action) << row.tag;
}

TEST(FileToPlay, PageAndStatusChooseTheFile)
{
    const QString temp = QDir::tempPath() + QStringLiteral("/vx-temp");
    const QString partial = QDir::cleanPath(temp + QStringLiteral("/song.mp3"));
    const struct
    {
        const char *name;
        int page;
        QString status;
        QString temp;
        QString fileName;
        QString expected;
    } table[] = {
        { "finished download", 1, QStringLiteral("0"), temp, QStringLiteral("song.mp3"),
            QStringLiteral("/music/song.mp3") },
        { "running download plays the partial file", 1, QString(), temp, QStringLiteral("song.mp3"),
            partial },
        { "temp folder with trailing separator", 1, QString(), temp + QStringLiteral("/"),
            QStringLiteral("song.mp3"), partial },
        { "peer name leaving the temp folder", 1, QString(), temp, QStringLiteral("../song.mp3"), QString() },
        { "upload, running", 2, QString(), temp, QStringLiteral("song.mp3"),
            QStringLiteral("/music/song.mp3") },
        { "upload, finished", 2, QStringLiteral("0"), temp, QStringLiteral("song.mp3"),
            QStringLiteral("/music/song.mp3") },
        { "send page", 3, QStringLiteral("0"), temp, QStringLiteral("song.mp3"), QString() },
    };
    for (const auto &row : table) {
        EXPECT_EQ(MediaRules::FileToPlay(
                      row.page, row.status, QStringLiteral("/music/song.mp3"), row.temp, row.fileName),
            row.expected)
            << row.name;
    }
}

// The page plays by type: what the back end lists (and what derives from
// it), and the names it always took whatever the back end says.
TEST(CanPlay, ByTheTypeTheBackEndDecodesAndTheNamesOfOld)
{
    const QStringList backEnd = { QStringLiteral("audio/x-wav"), QStringLiteral("audio/ogg"),
        QStringLiteral("audio/flac"), QStringLiteral("video/mp4") };
    const struct
    {
        const char *name;
        bool playable;
    } cases[] = {
        { "son.wav", true }, { "SON.WAV", true }, { "piste.ogg", true }, { "piste.oga", true },
        { "album.flac", true }, { "film.mp4", true }, { "clip.mp3", true }, { "video.avi", true },
        { "notes.txt", false }, { "archive.zip", false }, { "film.mkv", false }, { "sans-extension", false },
    };
    for (const auto &c : cases)
        EXPECT_EQ(MediaRules::canPlay(QString::fromLatin1(c.name), backEnd), c.playable) << c.name;
    // Nothing decodable at all: only the names of old.
    EXPECT_TRUE(MediaRules::canPlay(QStringLiteral("clip.mp3"), {}));
    EXPECT_FALSE(MediaRules::canPlay(QStringLiteral("son.wav"), {}));
}

TEST(CanPlay, TheOpenFilterListsTheTypesPatternsThenEveryFile)
{
    const QString filter = MediaRules::openFilter({ QStringLiteral("audio/flac"), QStringLiteral("audio/ogg") });
    EXPECT_TRUE(filter.startsWith(QStringLiteral("Fichiers audio et vidéo|*.flac;"))) << filter.toStdString();
    EXPECT_TRUE(filter.contains(QStringLiteral("*.ogg"))) << filter.toStdString();
    EXPECT_TRUE(filter.endsWith(QStringLiteral("|Tous les fichiers  (*.*)|*.*")));
    EXPECT_EQ(MediaRules::openFilter({}), QStringLiteral("Tous les fichiers  (*.*)|*.*"));
}

} // namespace

