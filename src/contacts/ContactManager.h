#pragma once

#include <QObject>
#include <QString>

class DialogService;
class PresenceMonitor;
class ServiceSession;

// Every change of the service's contact tables: asking a member to become a
// contact, answering a member's request, deleting a contact. The tables are
// only reached through QXDValue, over the session's shared client. A change
// the service confirmed is made to the session's contact list and to the
// presence lists here, then told through the signals, for the views.
class ContactManager : public QObject
{
    Q_OBJECT

public:
    // Messages to the user, character for character.
    static const QString kContactTableNetworkDown;
    static const QString kSpellingNetworkDown;
    static const QString kNotRegistered;
    static QString alreadyContactText(const QString &typed);
    static QString requestRecordedText(const QString &spelling);
    static QString deleteQuestion(const QString &pseudo);
    static QString additionRefusedText(const QString &requester);

    ContactManager(ServiceSession &session, PresenceMonitor &presence, DialogService &dialogs,
        QObject *parent = nullptr);

    // With add, B goes into A's table of that category, else it is removed
    // from it. True when the service answered "ok"; a request that fails
    // shows the network error, a reply without "ok" fails silently.
    bool QXDValue(const QString &a, const QString &b, bool add, const QString &category);

    // How asking a member ended; the page's edit follows it.
    enum class AskResult {
        Nothing, // blank name: nothing sent, nothing shown
        AlreadyContact, // already in the contact list
        NetworkDown, // the spelling look-up failed
        NotRegistered, // no member of that name
        NotRecorded, // the request was sent and not accepted
        Recorded, // the request waits in the member's pending requests
    };
    // Files the account's request in the pending requests of the member
    // typed (by the spelling the service registered), with the messages of
    // each outcome.
    AskResult AskContact(const QString &typed);

    // Answers the pending request of requester. Accepting writes each
    // member into the other's contacts, then adds the new contact to the
    // session's list and to the online contacts, and announces it;
    // either answer then removes the pending request. False when the
    // acceptance could not be written (the network message or the
    // service's refusal is shown): the request then stays pending, so that
    // it can be answered again (now or at the next log-in).
    bool AnswerRequest(const QString &requester, bool accept);

    // Deletes a contact from both tables after asking the user; true when
    // both entries are gone (it has left the session's list, and
    // contactDeleted has been emitted).
    bool DeleteContact(const QString &pseudo);

signals:
    // A member accepted as contact: it is in the contact list and among the
    // online contacts until the next presence check says better.
    void contactAccepted(const QString &pseudo);
    // The contact view is to be brought in line with presence, with or
    // without pop-ups (an accepted request asks for it without).
    void checkFriendRequested(bool popups);
    void contactDeleted(const QString &pseudo);

private:
    enum class TableChange { Done, Refused, NetworkDown };
    // QXDValue with the refusal told apart from the network failure (whose
    // message is already shown).
    TableChange changeTable(const QString &a, const QString &b, bool add, const QString &category);

    ServiceSession &m_session;
    PresenceMonitor &m_presence;
    DialogService &m_dialogs;
};
