#include "service/ServiceRequests.h"

#include "base/Cp1252.h"

const QString ServiceRequests::kCategoryContacts = QStringLiteral("1");
const QString ServiceRequests::kCategoryPending = QStringLiteral("3");

QByteArray ServiceRequests::connect(const QString &pseudo, const QString &digest, const QString &ip)
{
    return Cp1252::encode(QStringLiteral("/voxlane/connect.php?pseudo=") + pseudo + QStringLiteral("&psw=")
        + digest + QStringLiteral("&ip=") + ip);
}

QByteArray ServiceRequests::memberId(const QString &pseudo)
{
    return memberInfo(QStringLiteral("getid"), pseudo);
}

QByteArray ServiceRequests::disconnect(const QString &pseudo, const QString &digest)
{
    return Cp1252::encode(
        QStringLiteral("/voxlane/deconnect.php?pseudo=") + pseudo + QStringLiteral("&psw=") + digest);
}

QByteArray ServiceRequests::connectedMembers()
{
    return QByteArrayLiteral("/voxlane/getconnected.php");
}

QByteArray ServiceRequests::contactAdd(const QString &a, const QString &category, const QString &b)
{
    return Cp1252::encode(QStringLiteral("/script/qxd.php?pseudo=") + a + QStringLiteral("&cmd=1&catego=")
        + category + QStringLiteral("&add=") + b);
}

QByteArray ServiceRequests::contactDelete(const QString &a, const QString &category, const QString &b)
{
    return Cp1252::encode(QStringLiteral("/script/qxd.php?pseudo=") + a + QStringLiteral("&cmd=2&catego=")
        + category + QStringLiteral("&del=") + b);
}

QByteArray ServiceRequests::registeredSpelling(const QString &pseudo)
{
    return memberInfo(QStringLiteral("getcorrectpseudo"), pseudo);
}

QByteArray ServiceRequests::cardDetails(const QString &pseudo)
{
    return memberInfo(QStringLiteral("getinfo"), pseudo);
}

QByteArray ServiceRequests::memberInfo(const QString &function, const QString &pseudo)
{
    return Cp1252::encode(
        QStringLiteral("/script/getinfo.php?function=") + function + QStringLiteral("&pseudo=") + pseudo);
}

QByteArray ServiceRequests::avatar(const QString &idText)
{
    return Cp1252::encode(QStringLiteral("/avatars/") + idText + QStringLiteral(".jpg"));
}

QByteArray ServiceRequests::avatarUpload(const QString &pseudo)
{
    return Cp1252::encode(QStringLiteral("/avatars/uploadqxa.php?pseudo=") + pseudo);
}

QList<HttpClient::FormPart> ServiceRequests::avatarUploadParts(
    const QString &localPath, const QByteArray &jpeg)
{
    HttpClient::FormPart folder;
    folder.name = "dossier";
    HttpClient::FormPart file;
    file.name = "file";
    file.hasFileName = true;
    file.fileName = Cp1252::encode(localPath);
    file.contentType = "multipart/form-data";
    file.content = jpeg;
    return { folder, file };
}

QString ServiceRequests::registrationPage(const QString &baseUrl)
{
    return baseUrl + QStringLiteral("/voxlane/?file=inscriptions.php");
}

QString ServiceRequests::profilePage(const QString &baseUrl, const QString &idText)
{
    return baseUrl + QStringLiteral("/quixvale/index.php?page=affichmembre.php?id=") + idText;
}

QString ServiceRequests::mailPage(const QString &address)
{
    return QStringLiteral("mailto:") + address;
}
