#pragma once

#include "media/WmpPlayState.h"

#include <QMediaPlayer>
#include <QWidget>

class QAudioOutput;
class QLabel;
class QSlider;
class QTimer;
class QToolButton;
class QVideoWidget;

// The embedded player of the media page: a local file given by its path
// plays at once, in a video area stretched to the control with a bar of
// play, pause, stop, position and volume. It reports its state in the
// 0-11 numbering of WmpPlayState.
//
// A file the platform cannot play, or one that does not finish loading
// within loadTimeout(), is stopped and reported: the text shows in the
// player and mediaError is emitted. Nothing ever blocks or opens a box.
class TMediaPlayer : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kDefaultWidth = 433;
    static constexpr int kDefaultHeight = 271;
    static constexpr int kDefaultLoadTimeoutMs = 15000;

    explicit TMediaPlayer(QWidget *parent = nullptr);

    // The MIME types of the containers the multimedia back end decodes on
    // this machine.
    static QStringList playableMimeTypes();
    ~TMediaPlayer() override;

    // The media to play; setting it starts playback.
    void setURL(const QString &path);
    QString URL() const { return m_url; }
    // The name of the current media: its file name without the extension,
    // empty when nothing is set.
    QString currentMediaName() const;
    void play();
    void pause();
    void stop();
    int playState() const;
    qint64 position() const;
    // The last failure's text, empty after a media that loaded.
    QString errorText() const { return m_errorText; }

    void setLoadTimeout(int ms);
    int loadTimeout() const;

    QMediaPlayer *mediaPlayer() const { return m_player; }
    QAudioOutput *audioOutput() const { return m_audio; }
    QVideoWidget *videoWidget() const { return m_video; }

signals:
    void playStateChanged(int state);
    void mediaError(const QString &message);

private:
    void updateState();
    void fail(const QString &reason);
    void updateButtons();

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_audio = nullptr;
    QVideoWidget *m_video = nullptr;
    QLabel *m_message = nullptr;
    QToolButton *m_playPause = nullptr;
    QToolButton *m_stop = nullptr;
    QSlider *m_position = nullptr;
    QSlider *m_volume = nullptr;
    QLabel *m_time = nullptr;
    QTimer *m_loadTimer = nullptr;
    QString m_url;
    QString m_errorText;
    int m_lastState = 0;
};
