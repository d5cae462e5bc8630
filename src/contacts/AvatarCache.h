#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class ServiceSession;

// The members' avatars fetched from the service during the run, kept at
// full size and looked up by the pseudonym exactly as spelled (letter case
// included). Windows fit a picture to their own size.
class AvatarCache : public QObject
{
    Q_OBJECT

public:
    explicit AvatarCache(ServiceSession &session, QObject *parent = nullptr);
    ~AvatarCache() override;

    // The avatar of pseudo: from the cache unless refresh is set, otherwise
    // fetched (member id, then the picture) and kept. Nothing when the
    // pseudonym is blank or a request fails; a picture that does not decode
    // throws VoxlaneError and leaves the cache as it was.
    std::optional<QImage> GetAvatar(const QString &pseudo, bool refresh);

    QStringList AvatarCacheNames;
    QList<QImage> AvatarCachePictures;

signals:
    // One line for the control log per cache entry looked at.
    void logLine(const QString &line);

private:
    ServiceSession &m_session;
};
