#include "contacts/ContactManager.h"

#include "base/DialogService.h"
#include "contacts/PresenceMonitor.h"
#include "service/HttpClient.h"
#include "service/ServiceReplies.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"

namespace {

const QString kCaption = QStringLiteral("Voxlane");

} // namespace

const QString ContactManager::kContactTableNetworkDown = QStringLiteral(
    "Le réseau est indisponible, veuillez réessayer plus tard.\n\rVérifiez votre connexion à Internet");
const QString ContactManager::kSpellingNetworkDown
    = QStringLiteral("Le réseau est indisponible, veuillez réessayer\n\rVérifiez votre connexion à Internet");
const QString ContactManager::kNotRegistered = QStringLiteral("Cet utilisateur n'est pas inscrit !");

QString ContactManager::alreadyContactText(const QString &typed)
{
    return QStringLiteral("Vous avez déjà inscrit ") + typed + QStringLiteral(" !");
}

QString ContactManager::requestRecordedText(const QString &spelling)
{
    return QStringLiteral("Votre demande à été enregistrée,\rveuillez attendre une reponse de ") + spelling
        + QStringLiteral(".");
}

QString ContactManager::deleteQuestion(const QString &pseudo)
{
    return QStringLiteral("Êtes-vous de vouloir supprimer ") + pseudo + QStringLiteral(" ?");
}

ContactManager::ContactManager(
    ServiceSession &session, PresenceMonitor &presence, DialogService &dialogs, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_presence(presence)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("Contacts"));
}

QString ContactManager::additionRefusedText(const QString &requester)
{
    return QStringLiteral("Le service a refusé l'ajout de ") + requester
        + QStringLiteral(", veuillez réessayer plus tard.\n\rLa demande reste en attente");
}

ContactManager::TableChange ContactManager::changeTable(
    const QString &a, const QString &b, bool add, const QString &category)
{
    const QByteArray target
        = add ? ServiceRequests::contactAdd(a, category, b) : ServiceRequests::contactDelete(a, category, b);
    QString reply;
    if (!m_session.http().get(target, reply)) {
        m_dialogs.showMessage(
            m_session.http().failureText(kContactTableNetworkDown), kCaption, DialogService::Kind::Error);
        return TableChange::NetworkDown;
    }
    return ServiceReplies::isOk(reply) ? TableChange::Done : TableChange::Refused;
}

bool ContactManager::QXDValue(const QString &a, const QString &b, bool add, const QString &category)
{
    return changeTable(a, b, add, category) == TableChange::Done;
}

ContactManager::AskResult ContactManager::AskContact(const QString &typed)
{
    const QString name = ServiceReplies::trimBlanks(typed);
    if (name.isEmpty())
        return AskResult::Nothing;
    if (m_session.isContact(name)) {
        m_dialogs.showMessage(alreadyContactText(name), kCaption, DialogService::Kind::Information);
        return AskResult::AlreadyContact;
    }

    QString reply;
    if (!m_session.http().get(ServiceRequests::registeredSpelling(name), reply)) {
        m_dialogs.showMessage(
            m_session.http().failureText(kSpellingNetworkDown), kCaption, DialogService::Kind::Error);
        return AskResult::NetworkDown;
    }
    // The request goes under the spelling the service registered, which may
    // differ from the typed one in letter case; a body of blanks names nobody.
    const QString spelling = ServiceReplies::readRegisteredSpelling(reply);
    if (spelling.isEmpty()) {
        m_dialogs.showMessage(kNotRegistered, kCaption, DialogService::Kind::Information);
        return AskResult::NotRegistered;
    }

    if (!QXDValue(spelling, m_session.currentPseudo(), true, ServiceRequests::kCategoryPending))
        return AskResult::NotRecorded;
    m_dialogs.showMessage(requestRecordedText(spelling), kCaption, DialogService::Kind::Information);
    return AskResult::Recorded;
}

bool ContactManager::AnswerRequest(const QString &requester, bool accept)
{
    const QString me = m_session.currentPseudo();
    if (accept) {
        // Each member goes into the other's contacts while the request still
        // waits: the service lets the second entry be written only on the
        // strength of that request. When either entry cannot be written the
        // request is kept rather than lost, and the member is told (the
        // network message, or the service's refusal); answering again later
        // writes what is missing.
        for (const auto &[a, b] : { std::pair(me, requester), std::pair(requester, me) }) {
            const TableChange change = changeTable(a, b, true, ServiceRequests::kCategoryContacts);
            if (change == TableChange::Refused) {
                // The window stays open for another try: say why, or
                // every OK would seem to do nothing.
                m_dialogs.showMessage(additionRefusedText(requester), kCaption, DialogService::Kind::Error);
            }
            if (change != TableChange::Done)
                return false;
        }
        m_session.addContact(requester);
        m_presence.noteNewContact(requester);
        emit contactAccepted(requester);
        emit checkFriendRequested(false);
    }
    // A failed removal leaves the request pending; it comes back at the next
    // log-in and answering it again does no harm.
    QXDValue(me, requester, false, ServiceRequests::kCategoryPending);
    return true;
}

bool ContactManager::DeleteContact(const QString &pseudo)
{
    // Only an explicit "Yes" deletes: closing the question keeps the contact.
    if (!m_dialogs.askYesNo(deleteQuestion(pseudo), QStringLiteral("Confirmation")))
        return false;
    const QString me = m_session.currentPseudo();
    if (!QXDValue(me, pseudo, false, ServiceRequests::kCategoryContacts))
        return false;
    if (!QXDValue(pseudo, me, false, ServiceRequests::kCategoryContacts))
        return false;
    m_session.removeContact(pseudo);
    emit contactDeleted(pseudo);
    return true;
}
