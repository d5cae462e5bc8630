#pragma once

#include <QObject>
#include <QString>

#include <functional>

class DialogService;
class HttpClient;

// Every change of the service's contact tables: asking a member to become a
// contact, answering a member's request, deleting a contact. The tables are
// only reached through QXDValue. The account's own lists belong to whoever
// shows them; this controller reads them through the context and tells what
// changed through its signals.
class ContactManager : public QObject
{
    Q_OBJECT

public:
    struct Context
    {
        // The shared client of the main window: the contact requests and
        // the spelling look-up go through it.
        HttpClient *http = nullptr;
        DialogService *dialogs = nullptr;
        std::function<QString()> currentPseudo;
        // Is the name in the account's contact list (ignoring letter case)?
        std::function<bool(const QString &)> isContact;
    };

    // Messages to the user, character for character.
    static const QString kContactTableNetworkDown;
    static const QString kSpellingNetworkDown;
    static const QString kNotRegistered;
    static QString alreadyContactText(const QString &typed);
    static QString requestRecordedText(const QString &spelling);
    static QString deleteQuestion(const QString &pseudo);
    static QString additionRefusedText(const QString &requester);

    explicit ContactManager(Context context, QObject *parent = nullptr);

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
    // member into the other's contacts, then announces the new contact;
    // either answer then removes the pending request. False when the
    // acceptance could not be written (the network message or the
    // service's refusal is shown): the request then stays pending, so that
    // it can be answered again (now or at the next log-in).
    bool AnswerRequest(const QString &requester, bool accept);

    // Deletes a contact from both tables after asking the user; true when
    // both entries are gone (contactDeleted has been emitted).
    bool DeleteContact(const QString &pseudo);

signals:
    // A member accepted as contact: it belongs in the contact list and
    // among the online contacts until the next presence check says better.
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
    QString currentPseudo() const;

    Context m_context;
};
