#pragma once

#include <QObject>
#include <QString>

class QSoundEffect;

// The pop-ups' alert: plays a sound file asynchronously, never over a sound
// of its own that is still playing (that request is dropped). A missing or
// unplayable file, or a machine without audio output, plays nothing and
// reports nothing.
class AlertSound : public QObject
{
    Q_OBJECT

public:
    explicit AlertSound(QObject *parent = nullptr);
    ~AlertSound() override;

    // True when playback was started.
    bool play(const QString &path);

protected:
    // The player, replaceable in tests.
    virtual bool isPlaying() const;
    virtual void start(const QString &path);

private:
    QSoundEffect *m_effect = nullptr;
};
