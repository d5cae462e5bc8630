#pragma once

#include "service/HttpClient.h"

#include <QByteArray>
#include <QString>

// The requests of the community service, as the targets (path and query) the
// HTTP client sends. Values are inserted as they are, without escaping, and
// the whole target is written in Windows-1252: a space, '&' or 'é' in a
// pseudonym reaches the service as that very byte.
class ServiceRequests
{
public:
    // Member categories of the service's contact tables.
    static const QString kCategoryContacts; // "1"
    static const QString kCategoryPending; // "3": requests addressed to the member

    // Log-in: pseudonym, MD5 digest of the password, the local address
    // encrypted for the pseudonym.
    static QByteArray connect(const QString &pseudo, const QString &digest, const QString &ip);
    // Member id of a pseudonym.
    static QByteArray memberId(const QString &pseudo);
    // Log-out.
    static QByteArray disconnect(const QString &pseudo, const QString &digest);
    // Everybody online with their encrypted addresses.
    static QByteArray connectedMembers();
    // Add member b to member a's table of that category, or remove it.
    static QByteArray contactAdd(const QString &a, const QString &category, const QString &b);
    static QByteArray contactDelete(const QString &a, const QString &category, const QString &b);
    // Registered spelling of a name typed by the user.
    static QByteArray registeredSpelling(const QString &pseudo);
    // E-mail and web address of a member's card.
    static QByteArray cardDetails(const QString &pseudo);
    // One piece of a member's details ("getmail": the e-mail address).
    static QByteArray memberInfo(const QString &function, const QString &pseudo);
    // Avatar picture; idText is the member id reply exactly as received.
    static QByteArray avatar(const QString &idText);
    // Upload of the own avatar, and its body: an empty field "dossier", then
    // the file under "file" with its full local path as file name.
    static QByteArray avatarUpload(const QString &pseudo);
    static QList<HttpClient::FormPart> avatarUploadParts(const QString &localPath, const QByteArray &jpeg);

    // Pages opened in the web browser.
    static QString registrationPage(const QString &baseUrl);
    static QString profilePage(const QString &baseUrl, const QString &idText);
    static QString mailPage(const QString &address);
};
