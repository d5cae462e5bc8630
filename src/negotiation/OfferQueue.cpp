#include "negotiation/OfferQueue.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kReasonMs = 2600;

} // namespace

OfferQueue::OfferQueue(ControlChannel &channel, QObject *parent)
    : QObject(parent)
    , m_channel(channel)
{
    connect(&m_channel, &ControlChannel::OfferEnded, this, &OfferQueue::offerEnded);
}

QStringList OfferQueue::FilesOf(const QStringList &paths)
{
    QStringList files;
    QSet<QString> seen;
    const auto add = [&](const QString &path) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        if (!seen.contains(absolute)) {
            seen.insert(absolute);
            files << absolute;
        }
    };
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isFile()) {
            add(path);
        } else if (info.isDir()) {
            QStringList inside;
            QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
            while (it.hasNext())
                inside << it.next();
            std::sort(inside.begin(), inside.end());
            for (const QString &file : std::as_const(inside))
                add(file);
        }
    }
    return files;
}

int OfferQueue::Offer(const QString &recipient, const QStringList &paths)
{
    const QStringList files = FilesOf(paths);
    for (const QString &file : files)
        m_waiting.append({ recipient, file });
    if (!m_busy && !m_scheduled && !m_waiting.isEmpty())
        startNext();
    return int(files.size());
}

void OfferQueue::Clear()
{
    m_waiting.clear();
}

void OfferQueue::startNext()
{
    m_scheduled = false;
    if (m_waiting.isEmpty()) {
        m_busy = false;
        return;
    }
    m_current = m_waiting.takeFirst();
    m_busy = true;
    // The file may have gone while it waited: the channel offers what it is
    // given, so the check is here.
    if (!QFileInfo(m_current.path).isFile()) {
        emit Info(QStringLiteral("Fichier introuvable : ") + m_current.path, true, 2500);
        startNext();
        return;
    }
    m_channel.StartOffer(m_current.recipient, m_current.path);
}

void OfferQueue::offerEnded(ControlChannel::OfferOutcome outcome)
{
    if (!m_busy)
        return; // an offer made without the queue
    if (outcome == ControlChannel::OfferOutcome::Failed || outcome == ControlChannel::OfferOutcome::Withdrawn) {
        const QString recipient = m_current.recipient.trimmed();
        const qsizetype before = m_waiting.size();
        m_waiting.removeIf([&](const Item &item) { return item.recipient.trimmed() == recipient; });
        const qsizetype dropped = before - m_waiting.size();
        // Said once the channel's own reason has been read.
        if (dropped > 0)
            QTimer::singleShot(kReasonMs, this, [this, dropped, recipient] {
                emit Info(QStringLiteral("%1 fichier(s) non proposé(s) à %2").arg(dropped).arg(recipient), true, 2500);
            });
    }
    // The channel finishes with the offer that ended before the next one
    // takes its connection.
    m_busy = !m_waiting.isEmpty();
    if (m_busy && !m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &OfferQueue::startNext);
    }
}
