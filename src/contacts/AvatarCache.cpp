#include "contacts/AvatarCache.h"

#include "contacts/JpegCodec.h"
#include "service/HttpClient.h"
#include "service/ServiceReplies.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"

#include <QPointer>

AvatarCache::AvatarCache(ServiceSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("AvatarCache"));
}

AvatarCache::~AvatarCache() = default;

std::optional<QImage> AvatarCache::GetAvatar(const QString &pseudo, bool refresh)
{
    if (ServiceReplies::trimBlanks(pseudo).isEmpty())
        return std::nullopt;
    // The cache compares names exactly, letter case included.
    qsizetype found = -1;
    for (qsizetype i = 0; i < AvatarCacheNames.size(); ++i) {
        emit logLine(AvatarCacheNames.at(i));
        if (AvatarCacheNames.at(i) == pseudo) {
            found = i;
            break;
        }
    }
    if (found >= 0 && !refresh)
        return AvatarCachePictures.at(found);

    // Events run while the service answers; the cache may be destroyed
    // meanwhile (the program ending), and then nothing is kept.
    const QPointer<AvatarCache> alive(this);
    const std::unique_ptr<HttpClient> http = m_session.NewHttpClient();
    QString idText;
    if (!http->get(ServiceRequests::memberId(pseudo), idText) || !alive)
        return std::nullopt;
    QByteArray bytes;
    if (!http->get(ServiceRequests::avatar(idText), bytes) || !alive)
        return std::nullopt;
    const QImage picture = JpegCodec::decodeOrThrow(bytes, JpegCodec::kMaxAvatarPixels);

    if (refresh && found >= 0 && found < AvatarCachePictures.size()) {
        AvatarCachePictures[found] = picture;
    } else {
        AvatarCacheNames.append(pseudo);
        AvatarCachePictures.append(picture);
    }
    return picture;
}
