#include "media/ui/TMediaPlayer.h"

#include <QAction>
#include <QAudioOutput>
#include <QBoxLayout>
#include <QFileInfo>
#include <QLabel>
#include <QMediaFormat>
#include <QMimeType>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVideoWidget>

// The core library speaks Qt's player states through mirrors with the same
// numbers; keep them in step.
static_assert(int(PlayerPlayback::Playing) == int(QMediaPlayer::PlayingState));
static_assert(int(PlayerPlayback::Paused) == int(QMediaPlayer::PausedState));
static_assert(int(PlayerPlayback::Stopped) == int(QMediaPlayer::StoppedState));
static_assert(int(PlayerMedia::NoMedia) == int(QMediaPlayer::NoMedia));
static_assert(int(PlayerMedia::Loading) == int(QMediaPlayer::LoadingMedia));
static_assert(int(PlayerMedia::Loaded) == int(QMediaPlayer::LoadedMedia));
static_assert(int(PlayerMedia::Stalled) == int(QMediaPlayer::StalledMedia));
static_assert(int(PlayerMedia::Buffering) == int(QMediaPlayer::BufferingMedia));
static_assert(int(PlayerMedia::Buffered) == int(QMediaPlayer::BufferedMedia));
static_assert(int(PlayerMedia::EndOfMedia) == int(QMediaPlayer::EndOfMedia));
static_assert(int(PlayerMedia::Invalid) == int(QMediaPlayer::InvalidMedia));

namespace {

QString clock(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TMediaPlayer::TMediaPlayer(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("WMPlayer"));
    resize(kDefaultWidth, kDefaultHeight);

    m_player = new QMediaPlayer(this);
    m_audio = new QAudioOutput(this);
    m_audio->setVolume(0.5f);
    m_player->setAudioOutput(m_audio);
    m_player->setPlaybackRate(1.0);

    m_video = new QVideoWidget(this);
    m_video->setAspectRatioMode(Qt::IgnoreAspectRatio); // stretched to the control
    m_player->setVideoOutput(m_video);

    m_message = new QLabel(m_video);
    m_message->setObjectName(QStringLiteral("lblPlayerMessage"));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setStyleSheet(QStringLiteral("color: white; background: rgba(0, 0, 0, 160); padding: 6px;"));
    m_message->hide();

    m_playPause = new QToolButton(this);
    m_playPause->setObjectName(QStringLiteral("btnPlayPause"));
    m_stop = new QToolButton(this);
    m_stop->setObjectName(QStringLiteral("btnStop"));
    m_stop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    m_position = new QSlider(Qt::Horizontal, this);
    m_position->setObjectName(QStringLiteral("sliderPosition"));
    m_time = new QLabel(clock(0), this);
    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("sliderVolume"));
    m_volume->setRange(0, 100);
    m_volume->setValue(50);
    m_volume->setFixedWidth(60);

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(2, 2, 2, 2);
    bar->addWidget(m_playPause);
    bar->addWidget(m_stop);
    bar->addWidget(m_position, 1);
    bar->addWidget(m_time);
    bar->addWidget(m_volume);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_video, 1);
    layout->addLayout(bar);

    // The player's own context menu.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *playAction = new QAction(QStringLiteral("Lecture"), this);
    auto *pauseAction = new QAction(QStringLiteral("Pause"), this);
    auto *stopAction = new QAction(QStringLiteral("Arrêt"), this);
    addActions({ playAction, pauseAction, stopAction });
    connect(playAction, &QAction::triggered, this, &TMediaPlayer::play);
    connect(pauseAction, &QAction::triggered, this, &TMediaPlayer::pause);
    connect(stopAction, &QAction::triggered, this, &TMediaPlayer::stop);

    connect(m_playPause, &QToolButton::clicked, this, [this] {
        if (m_player->playbackState() == QMediaPlayer::PlayingState)
            pause();
        else
            play();
    });
    connect(m_stop, &QToolButton::clicked, this, &TMediaPlayer::stop);
    connect(m_volume, &QSlider::valueChanged, this, [this](int v) { m_audio->setVolume(float(v) / 100.0f); });
    connect(m_position, &QSlider::sliderMoved, m_player, &QMediaPlayer::setPosition);
    connect(m_player, &QMediaPlayer::durationChanged, this,
        [this](qint64 d) { m_position->setRange(0, int(d)); });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 p) {
        updateState();
        if (!m_position->isSliderDown())
            m_position->setValue(int(p));
        m_time->setText(clock(p));
    });

    m_loadTimer = new QTimer(this);
    m_loadTimer->setSingleShot(true);
    m_loadTimer->setInterval(kDefaultLoadTimeoutMs);
    connect(m_loadTimer, &QTimer::timeout, this, [this] {
        // Loading that never ends while the position moves is a back-end's
        // way of playing (see MapPlayState); only a media that never starts fails.
        if (m_player->mediaStatus() == QMediaPlayer::LoadingMedia && m_player->position() <= 0)
            fail(QStringLiteral("le fichier ne se charge pas"));
    });

    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &TMediaPlayer::updateState);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status != QMediaPlayer::LoadingMedia)
            m_loadTimer->stop();
        updateState();
    });
    connect(
        m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error, const QString &text) {
            if (error != QMediaPlayer::NoError)
                fail(text.isEmpty() ? QStringLiteral("format non pris en charge") : text);
        });
    updateButtons();
}

QStringList TMediaPlayer::playableMimeTypes()
{
    QStringList names;
    for (const QMediaFormat::FileFormat format : QMediaFormat().supportedFileFormats(QMediaFormat::Decode)) {
        const QString name = QMediaFormat(format).mimeType().name();
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    return names;
}

TMediaPlayer::~TMediaPlayer()
{
    // Stop before the outputs go, so no frame reaches a widget being freed.
    m_player->stop();
}

void TMediaPlayer::setURL(const QString &path)
{
    m_url = path;
    m_errorText.clear();
    m_message->hide();
    m_player->stop();
    m_player->setSource(path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path));
    if (path.isEmpty())
        return;
    if (!QFileInfo(path).isFile()) {
        fail(QStringLiteral("fichier introuvable"));
        return;
    }
    m_loadTimer->start();
    m_player->play();
}

QString TMediaPlayer::currentMediaName() const
{
    if (m_url.isEmpty())
        return QString();
    const QFileInfo info(m_url);
    return info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
}

void TMediaPlayer::play()
{
    if (!m_player->source().isEmpty() && m_errorText.isEmpty())
        m_player->play();
}

void TMediaPlayer::pause()
{
    m_player->pause();
}

void TMediaPlayer::stop()
{
    m_player->stop();
}

int TMediaPlayer::playState() const
{
    if (!m_errorText.isEmpty())
        return int(WmpPlayState::Undefined);
    return int(MapPlayState(!m_player->source().isEmpty(), PlayerPlayback(int(m_player->playbackState())),
        PlayerMedia(int(m_player->mediaStatus())), m_player->playbackRate(), m_player->position()));
}

qint64 TMediaPlayer::position() const
{
    return m_player->position();
}

void TMediaPlayer::setLoadTimeout(int ms)
{
    m_loadTimer->setInterval(ms);
}

int TMediaPlayer::loadTimeout() const
{
    return m_loadTimer->interval();
}

void TMediaPlayer::fail(const QString &reason)
{
    m_loadTimer->stop();
    m_player->stop();
    m_errorText
        = QStringLiteral("Lecture impossible de \"%1\" : %2").arg(QFileInfo(m_url).fileName(), reason);
    m_message->setText(m_errorText);
    m_message->setGeometry(m_video->rect());
    m_message->show();
    updateState();
    emit mediaError(m_errorText);
}

void TMediaPlayer::updateButtons()
{
    const bool playing = m_player->playbackState() == QMediaPlayer::PlayingState;
    m_playPause->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

void TMediaPlayer::updateState()
{
    updateButtons();
    const int state = playState();
    if (state != m_lastState) {
        m_lastState = state;
        emit playStateChanged(state);
    }
}
