#include "app/ui/AlertSound.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

AlertSound::AlertSound(QObject *parent)
    : QObject(parent)
{
}

AlertSound::~AlertSound() = default;

bool AlertSound::play(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    if (isPlaying())
        return false;
    start(path);
    return true;
}

bool AlertSound::isPlaying() const
{
    return m_effect && m_effect->isPlaying();
}

void AlertSound::start(const QString &path)
{
    // Made on first use: machines that never play a sound never open the
    // audio system.
    if (!m_effect)
        m_effect = new QSoundEffect(this);
    const QUrl source = QUrl::fromLocalFile(path);
    if (m_effect->source() != source)
        m_effect->setSource(source);
    m_effect->play();
}
