#pragma once

#include <QPointer>
#include <QTreeWidget>

#include "contacts/ui/TfrmCard.h"

class AvatarCache;
class ContactManager;
class DialogService;
class PresenceMonitor;
class QAction;
class QLabel;
class QMenu;
class ServiceSession;
class TfrmCard;
class TfrmNewContact;

// The contact view of the main window's menu (lbOnline) and its heading
// (lblContactsEnLigne, given): the online contacts under "——— En Ligne ———",
// the offline ones under "—— Hors Ligne ——", as presence decides at each
// check; its context menu PopupMenuContacts (mail, card, profile, deletion,
// the contact page) and the windows of the contact requests waiting at
// log-in. Rows carry their text in the second column and their kind as the
// image index (ContactRows).
class TContactView : public QTreeWidget
{
    Q_OBJECT

public:
    TContactView(ServiceSession &session, PresenceMonitor &presence, ContactManager &contacts,
        AvatarCache &avatars, DialogService &dialogs, QLabel &heading, const QString &serviceUrl,
        QWidget *parent = nullptr);

    // The business card window of the program, made after the main window.
    void setCardWindow(TfrmCard *card) { m_card = card; }

    // Files dragged onto an online contact's row are taken (filesDropped)
    // only while this is set: from log-in to log-out.
    void setDropAccepted(bool accepted);

    // A log-in begins: the two headers only.
    void beginLogIn();
    // An accepted log-in: the contacts offline, one window per pending
    // contact request (a handful at a time), the view shown.
    void SessionLoggedIn(const QStringList &requests);
    // A confirmed log-out: no rows, the heading's design text, hidden.
    void endSession();
    // The check against the last poll: rows moved, the heading's count,
    // and with popups a cameOnline for each contact that came online.
    void CheckFriend(bool popups);

    // Pseudonym of the selected row; empty when none.
    QString SelectedContact() const;
    // The first row whose text in sub-column column (0: the text column)
    // is exactly text; nullptr when none or column is out of range.
    static QTreeWidgetItem *FindInSubItems(const QString &text, QTreeWidget *view, int column);

    // The card of pseudo, by the selected row (or the mouse); a service
    // that does not answer is said in a message box.
    void AffichCarte(const QString &pseudo);
    // The window of one pending request, answered through the contact
    // manager.
    TfrmNewContact *NewContactWindow(const QString &pseudo);

    // Handlers of the context menu.
    void lbOnlineContextPopup(const QPoint &pos);
    void PopupMenuContactsPopup();
    void Envoyerunmessage2Click();
    void Afficherlacartedevisite1Click();
    void AfficherProfil1Click();
    void Supprimerceprofil1Click();

    QMenu *popupMenu() const { return m_menu; }

signals:
    // A contact came online during a check with pop-ups.
    void cameOnline(const QString &pseudo);
    // "Envoyer un fichier…" of the menu, or of an online member's card.
    void sendFileWanted(const QString &pseudo);
    // Local files and folders dropped on an online contact's row.
    void filesDropped(const QString &pseudo, const QStringList &paths);
    // "Gestion des contacts": the contact page.
    void contactPageWanted();
    // No program could open the address.
    void openFailed(const QString &address);

private:
    void contactDeleted(const QString &pseudo);
    void openAddress(const QString &address);

    ServiceSession &m_session;
    PresenceMonitor &m_presence;
    ContactManager &m_contacts;
    AvatarCache &m_avatars;
    DialogService &m_dialogs;
    QPointer<TfrmCard> m_card;
    QLabel &m_heading;
    QString m_serviceUrl;

    QMenu *m_menu = nullptr;
    QAction *m_chat = nullptr;
    QAction *m_sendFile = nullptr;
    QAction *m_mail = nullptr;
    QAction *m_showCard = nullptr;
    QAction *m_profile = nullptr;
    QAction *m_delete = nullptr;
    QAction *m_manage = nullptr;
};
