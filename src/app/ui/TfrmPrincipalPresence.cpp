// Presence polling, the contact view, the address look-up and the send
// page's recipient list.
#include "app/ui/TfrmPrincipal.h"
#include "app/PopupNotifier.h"

#include "base/ErrorReport.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TStatusBar.h"
#include "contacts/AvatarCache.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TOnlineList.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/ui/TfrmChangeAvatar.h"
#include "service/HttpClient.h"
#include "service/ServiceReplies.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"
#include "transfer/TransferManager.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

namespace {

// Files dragged over the contact view: taken on an online contact's row.
class ContactDrops : public QObject
{
public:
    ContactDrops(QTreeWidget *view, std::function<void(const QString &pseudo, const QStringList &paths)> dropped)
        : QObject(view)
        , m_view(view)
        , m_dropped(std::move(dropped))
    {
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter: {
            auto *drag = static_cast<QDragEnterEvent *>(event);
            if (drag->mimeData()->hasUrls())
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (contactAt(drag->position().toPoint()).isEmpty())
                drag->ignore();
            else
                drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QString pseudo = contactAt(drop->position().toPoint());
            QStringList paths;
            for (const QUrl &url : drop->mimeData()->urls())
                if (url.isLocalFile())
                    paths << url.toLocalFile();
            if (pseudo.isEmpty() || paths.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            m_dropped(pseudo, paths);
            return true;
        }
        default:
            return false;
        }
    }

private:
    QString contactAt(const QPoint &position) const
    {
        const QTreeWidgetItem *row = m_view->itemAt(position);
        return row && ContactRows::imageIndexOf(row) == ContactRows::kOnline ? ContactRows::textOf(row) : QString();
    }

    QTreeWidget *m_view;
    std::function<void(const QString &, const QStringList &)> m_dropped;
};

} // namespace

void TfrmPrincipal::buildPresence()
{
    ContactRows::setUpView(lbOnline);
    lbOnline->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lbOnline, &QWidget::customContextMenuRequested, this, &TfrmPrincipal::lbOnlineContextPopup);
    lbOnline->viewport()->installEventFilter(new ContactDrops(lbOnline, [this](const QString &pseudo, const QStringList &paths) {
        DropFilesOnContact(pseudo, paths);
    }));

    // The send page's recipient list: the online contacts.
    lBoxSendToFriends = new QTreeWidget(TabSheet4);
    lBoxSendToFriends->setObjectName(QStringLiteral("lBoxSendToFriends"));
    ContactRows::setUpView(lBoxSendToFriends);
    lBoxSendToFriends->setGeometry(16, 196, 240, 200);

    PopupMenuContacts = new QMenu(this);
    PopupMenuContacts->setObjectName(QStringLiteral("PopupMenuContacts"));
    Dialoguer1 = PopupMenuContacts->addAction(QStringLiteral("Dialoguer"));
    Envoyerunfichier1 = PopupMenuContacts->addAction(QStringLiteral("Envoyer un fichier…"));
    Envoyerunfichier1->setObjectName(QStringLiteral("Envoyerunfichier1"));
    connect(Envoyerunfichier1, &QAction::triggered, this, [this] {
        const QString pseudo = SelectedContact();
        if (!pseudo.isEmpty())
            SendFileToContact(pseudo);
    });
    Envoyerunmessage2 = PopupMenuContacts->addAction(
        ContactRows::image(ContactRows::kMailImage), QStringLiteral("Envoyer un mail"));
    Afficherlacartedevisite1 = PopupMenuContacts->addAction(
        ContactRows::image(ContactRows::kCardImage), QStringLiteral("Afficher la carte de visite"));
    AfficherProfil1 = PopupMenuContacts->addAction(QStringLiteral("Afficher le profil"));
    PopupMenuContacts->addSeparator();
    Supprimerceprofil1 = PopupMenuContacts->addAction(QStringLiteral("Supprimer ce contact"));
    Gestiondescontacts1 = PopupMenuContacts->addAction(QStringLiteral("Gestion des contacts"));
    connect(PopupMenuContacts, &QMenu::aboutToShow, this, &TfrmPrincipal::PopupMenuContactsPopup);
    connect(Envoyerunmessage2, &QAction::triggered, this, &TfrmPrincipal::Envoyerunmessage2Click);
    // A card fetches the avatar, which may not decode: reported at the slot.
    connect(Afficherlacartedevisite1, &QAction::triggered, this,
        reportingSlot([this] { Afficherlacartedevisite1Click(); }));
    connect(AfficherProfil1, &QAction::triggered, this, &TfrmPrincipal::AfficherProfil1Click);

    PopupMenuAvatar = new QMenu(this);
    PopupMenuAvatar->setObjectName(QStringLiteral("PopupMenuAvatar"));
    Changersonavatar1 = PopupMenuAvatar->addAction(QStringLiteral("Changer son avatar"));
    Affichermacartedevisite1 = PopupMenuAvatar->addAction(
        ContactRows::image(ContactRows::kCardImage), QStringLiteral("Afficher ma carte de visite"));
    Affichermonprofil1 = PopupMenuAvatar->addAction(QStringLiteral("Afficher mon profil"));
    connect(Changersonavatar1, &QAction::triggered, this, &TfrmPrincipal::Changersonavatar1Click);
    connect(Affichermacartedevisite1, &QAction::triggered, this,
        reportingSlot([this] { Affichermacartedevisite1Click(); }));
    connect(Affichermonprofil1, &QAction::triggered, this, &TfrmPrincipal::Affichermonprofil1Click);

    // The own avatar: 62 pixels high, a click changes it, and its menu while
    // logged in.
    imgAvatar->setGeometry(6, 6, 62, 62);
    imgAvatar->setToolTip(QStringLiteral("Changez votre avatar"));
    lblPseudo->setGeometry(74, 27, 92, 20);
    if (auto *clickable = qobject_cast<TClickLabel *>(imgAvatar))
        connect(clickable, &TClickLabel::clicked, this, &TfrmPrincipal::imgAvatarClick);
    imgAvatar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(imgAvatar, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (m_avatarMenuAttached)
            PopupMenuAvatar->popup(imgAvatar->mapToGlobal(pos));
    });

    connect(TimerRefresh, &QTimer::timeout, this, reportingSlot([this] { TimerRefreshTimer(); }));
    connect(&avatars, &AvatarCache::logLine, this, &TfrmPrincipal::LogWatch);
    connect(&presence, &PresenceMonitor::statusText, this,
        [this](int panel, const QString &text) { StatusBar->setPanelText(panel, text); });
}

void TfrmPrincipal::setAvatarMenuAttached(bool attached)
{
    m_avatarMenuAttached = attached;
}

void TfrmPrincipal::setContactWindows(TfrmCard *card, TfrmChangeAvatar *changeAvatar)
{
    m_card = card;
    m_changeAvatar = changeAvatar;
    if (changeAvatar)
        attachChangeAvatar(changeAvatar);
}

void TfrmPrincipal::attachChangeAvatar(TfrmChangeAvatar *window)
{
    // The avatar cache is the window's: the dialog asks it, and a new own
    // avatar is fetched again for the menu's picture.
    connect(window, &TfrmChangeAvatar::avatarWanted, this,
        reportingSlot([this](const QString &pseudo, QLabel *target, bool refresh) {
            GetAvatar(pseudo, target, refresh);
        }));
    connect(window, &TfrmChangeAvatar::ownAvatarChanged, this,
        reportingSlot([this] { GetAvatar(session.CurrentPseudo, imgAvatar, true); }));
}

TfrmCard *TfrmPrincipal::cardWindow()
{
    if (!m_card)
        m_card = new TfrmCard(this);
    m_card->setDialogs(services.dialogs);
    connect(m_card, &TfrmCard::openFailed, this, &TfrmPrincipal::ShellOpenFailed);
    connect(m_card, &TfrmCard::sendFileRequested, this, &TfrmPrincipal::SendFileToContact, Qt::UniqueConnection);
    return m_card;
}

TfrmChangeAvatar *TfrmPrincipal::changeAvatarWindow()
{
    if (!m_changeAvatar) {
        m_changeAvatar = new TfrmChangeAvatar(session, *services.dialogs, programDir(), this);
        attachChangeAvatar(m_changeAvatar);
    }
    return m_changeAvatar;
}

void TfrmPrincipal::TimerRefreshTimer()
{
    // The poll waits for the service while events run; a tick that comes
    // meanwhile is skipped rather than nested, so two polls never update
    // the lists over each other.
    if (m_tickRunning)
        return;
    m_tickRunning = true;
    // The window may be destroyed while the poll waits; then the poll's
    // reply stays with the presence monitor and nothing here goes on.
    struct Done
    {
        QPointer<TfrmPrincipal> window;
        ~Done()
        {
            if (window)
                window->m_tickRunning = false;
        }
    } done { this };

    const bool polled = PollOnline();
    if (!done.window || !polled)
        return;
    // Uploads whose recipient is back are tried again at once.
    Transfers->PresenceChanged();
    CheckFriend(true);
    RefillSendToFriends();
}

bool TfrmPrincipal::PollOnline()
{
    return presence.PollOnline();
}

void TfrmPrincipal::ApplyPresenceReply(const QString &body)
{
    presence.ApplyPresenceReply(body);
}

namespace {

// Rows of the contact view by their exact text, each list in view order, so
// that the check finds a contact's row without scanning the view. Built once
// per check and kept in step with the rows it inserts and deletes.
class RowIndex
{
public:
    explicit RowIndex(QTreeWidget *view)
        : m_view(view)
    {
        const int n = view->topLevelItemCount();
        m_rows.reserve(n);
        for (int i = 0; i < n; ++i) {
            QTreeWidgetItem *row = view->topLevelItem(i);
            m_rows[ContactRows::textOf(row)].append(row);
        }
    }

    QTreeWidgetItem *first(const QString &text) const
    {
        const auto it = m_rows.constFind(text);
        return it == m_rows.cend() || it->isEmpty() ? nullptr : it->first();
    }

    void remove(QTreeWidgetItem *row)
    {
        const auto it = m_rows.find(ContactRows::textOf(row));
        if (it != m_rows.end())
            it->removeOne(row);
        delete row;
    }

    void insert(int position, QTreeWidgetItem *row)
    {
        m_view->insertTopLevelItem(position, row);
        QList<QTreeWidgetItem *> &same = m_rows[ContactRows::textOf(row)];
        // Rows of the same text are rare (a contact named like a header);
        // only then is the order among them worked out from positions.
        qsizetype at = 0;
        const int pos = m_view->indexOfTopLevelItem(row);
        while (at < same.size() && !same.isEmpty() && m_view->indexOfTopLevelItem(same.at(at)) < pos)
            ++at;
        same.insert(at, row);
    }

private:
    QTreeWidget *m_view;
    QHash<QString, QList<QTreeWidgetItem *>> m_rows;
};

bool rowReads(QTreeWidget *view, int position, const QString &text)
{
    QTreeWidgetItem *row = view->topLevelItem(position);
    return row && ContactRows::textOf(row) == text;
}

} // namespace

void TfrmPrincipal::CheckFriend(bool popups)
{
    const QList<PresenceTransition> moves = presence.CheckFriend();
    const QString placeholder = ContactRows::placeholder();
    if (!moves.isEmpty()) {
        RowIndex rows(lbOnline);
        for (const PresenceTransition &move : moves) {
            if (QTreeWidgetItem *old = rows.first(move.name))
                rows.remove(old);
            if (move.online) {
                if (rowReads(lbOnline, 1, placeholder))
                    rows.remove(lbOnline->topLevelItem(1));
                rows.insert(qMin(1, lbOnline->topLevelItemCount()),
                    ContactRows::makeRow(move.name, ContactRows::kOnline));
            } else {
                QTreeWidgetItem *header = rows.first(ContactRows::offlineHeader());
                const int position
                    = header ? lbOnline->indexOfTopLevelItem(header) + 1 : lbOnline->topLevelItemCount();
                rows.insert(position, ContactRows::makeRow(move.name, ContactRows::kOffline));
            }
        }
    }
    if (presence.OnlineContacts.isEmpty() && !rowReads(lbOnline, 1, placeholder)) {
        lbOnline->insertTopLevelItem(qMin(1, lbOnline->topLevelItemCount()),
            ContactRows::makeRow(placeholder, ContactRows::kPlaceholder));
        lblContactsEnLigne->setText(QStringLiteral("Contacts en ligne (0)"));
    } else {
        lblContactsEnLigne->setText(QStringLiteral("Contacts en ligne (%1)").arg(presence.OnlineContacts.size()));
    }

    // The pop-ups come once the view is in order: each one fetches an
    // avatar, and events run while it waits. A broken avatar is reported
    // without holding back the other announcements or the rest of the tick.
    if (popups) {
        for (const PresenceTransition &move : moves) {
            if (!move.online)
                continue;
            notifier.contactOnline(move.name);
            ErrorReport::guard(
                [this, &move] { NewMsgBox(move.name, QStringLiteral("vient de se connecter"), 0); });
        }
    }
}

void TfrmPrincipal::RefillSendToFriends()
{
    lBoxSendToFriends->clear();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(presence.OnlineContacts.size());
    for (const QString &name : presence.OnlineContacts)
        rows.append(ContactRows::makeRow(name, ContactRows::kOnline));
    lBoxSendToFriends->addTopLevelItems(rows);
}

QString TfrmPrincipal::GetIP(const QString &pseudo) const
{
    return presence.GetIP(pseudo);
}

QTreeWidgetItem *TfrmPrincipal::FindInSubItems(const QString &text, QTreeWidget *view, int column)
{
    if (!view || view->topLevelItemCount() == 0)
        return nullptr;
    const int subColumns = view->columnCount() - 1;
    if (column < 0 || column >= subColumns)
        return nullptr;
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = view->topLevelItem(i);
        if (row->text(column + 1) == text)
            return row;
    }
    return nullptr;
}

QString TfrmPrincipal::SelectedContact() const
{
    const QList<QTreeWidgetItem *> selected = lbOnline->selectedItems();
    return selected.isEmpty() ? QString() : ContactRows::textOf(selected.first());
}

void TfrmPrincipal::lbOnlineContextPopup(const QPoint &)
{
    const QList<QTreeWidgetItem *> selected = lbOnline->selectedItems();
    if (selected.isEmpty() || ContactRows::imageIndexOf(selected.first()) < 0)
        return;
    PopupMenuContacts->popup(QCursor::pos());
}

void TfrmPrincipal::PopupMenuContactsPopup()
{
    const QList<QTreeWidgetItem *> selected = lbOnline->selectedItems();
    const int image = selected.isEmpty() ? ContactRows::kHeader : ContactRows::imageIndexOf(selected.first());
    Dialoguer1->setVisible(image == ContactRows::kOnline);
    Envoyerunfichier1->setVisible(image == ContactRows::kOnline);
    if (image == ContactRows::kOnline)
        PopupMenuContacts->setDefaultAction(Dialoguer1);
    else if (image == ContactRows::kOffline)
        PopupMenuContacts->setDefaultAction(Envoyerunmessage2);
    else
        PopupMenuContacts->setDefaultAction(nullptr);
}
