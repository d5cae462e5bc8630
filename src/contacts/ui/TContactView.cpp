#include "contacts/ui/TContactView.h"

#include "base/DialogService.h"
#include "base/ErrorReport.h"
#include "components/ui/PageLook.h"
#include "contacts/ContactManager.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/AvatarLabel.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/ui/TfrmNewContact.h"
#include "service/HttpClient.h"
#include "service/ServiceReplies.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QPointer>

namespace {

constexpr int kRequestWindowStep = 20;
constexpr int kMaxRequestWindows = 5;

const QString &networkDownText()
{
    static const QString text = QStringLiteral(
        "Le réseau est indisponible, veuillez réessayer\n\rVérifiez votre connexion à Internet");
    return text;
}

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

TContactView::TContactView(ServiceSession &session, PresenceMonitor &presence, ContactManager &contacts,
    AvatarCache &avatars, DialogService &dialogs, QLabel &heading, const QString &serviceUrl, QWidget *parent)
    : QTreeWidget(parent)
    , m_session(session)
    , m_presence(presence)
    , m_contacts(contacts)
    , m_avatars(avatars)
    , m_dialogs(dialogs)
    , m_heading(heading)
    , m_serviceUrl(serviceUrl)
{
    setObjectName(QStringLiteral("lbOnline"));
    setFont(PageLook::font(11));
    ContactRows::setUpView(this);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &TContactView::lbOnlineContextPopup);
    viewport()->installEventFilter(new ContactDrops(
        this, [this](const QString &pseudo, const QStringList &paths) { emit filesDropped(pseudo, paths); }));

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("PopupMenuContacts"));
    m_chat = m_menu->addAction(QStringLiteral("Dialoguer"));
    m_chat->setObjectName(QStringLiteral("Dialoguer1"));
    m_sendFile = m_menu->addAction(QStringLiteral("Envoyer un fichier…"));
    m_sendFile->setObjectName(QStringLiteral("Envoyerunfichier1"));
    connect(m_sendFile, &QAction::triggered, this, [this] {
        const QString pseudo = SelectedContact();
        if (!pseudo.isEmpty())
            emit sendFileWanted(pseudo);
    });
    m_mail = m_menu->addAction(ContactRows::image(ContactRows::kMailImage), QStringLiteral("Envoyer un mail"));
    m_mail->setObjectName(QStringLiteral("Envoyerunmessage2"));
    m_showCard = m_menu->addAction(
        ContactRows::image(ContactRows::kCardImage), QStringLiteral("Afficher la carte de visite"));
    m_showCard->setObjectName(QStringLiteral("Afficherlacartedevisite1"));
    m_profile = m_menu->addAction(QStringLiteral("Afficher le profil"));
    m_profile->setObjectName(QStringLiteral("AfficherProfil1"));
    m_menu->addSeparator();
    m_delete = m_menu->addAction(QStringLiteral("Supprimer ce contact"));
    m_delete->setObjectName(QStringLiteral("Supprimerceprofil1"));
    m_manage = m_menu->addAction(QStringLiteral("Gestion des contacts"));
    m_manage->setObjectName(QStringLiteral("Gestiondescontacts1"));
    connect(m_menu, &QMenu::aboutToShow, this, &TContactView::PopupMenuContactsPopup);
    connect(m_mail, &QAction::triggered, this, &TContactView::Envoyerunmessage2Click);
    // A card fetches the avatar, which may not decode: reported at the slot.
    connect(m_showCard, &QAction::triggered, this, reportingSlot([this] { Afficherlacartedevisite1Click(); }));
    connect(m_profile, &QAction::triggered, this, &TContactView::AfficherProfil1Click);
    connect(m_delete, &QAction::triggered, this, &TContactView::Supprimerceprofil1Click);
    connect(m_manage, &QAction::triggered, this, &TContactView::contactPageWanted);

    connect(&m_session, &ServiceSession::loggedIn, this, &TContactView::SessionLoggedIn);
    connect(&m_session, &ServiceSession::loggedOut, this, &QWidget::hide);
    connect(&m_presence, &PresenceMonitor::polled, this, [this] { CheckFriend(true); });
    connect(&m_contacts, &ContactManager::checkFriendRequested, this, &TContactView::CheckFriend);
    connect(&m_contacts, &ContactManager::contactDeleted, this, &TContactView::contactDeleted);
}

void TContactView::beginLogIn()
{
    clear();
    addTopLevelItem(ContactRows::makeRow(ContactRows::onlineHeader(), ContactRows::kHeader));
    addTopLevelItem(ContactRows::makeRow(ContactRows::offlineHeader(), ContactRows::kHeader));
}

void TContactView::SessionLoggedIn(const QStringList &requests)
{
    m_presence.startContacts(m_session.contactList());
    // Each contact goes in at row 3: the first lands under the offline
    // header, every later one right under the first.
    for (const QString &name : m_presence.offlineContacts()) {
        QTreeWidgetItem *row = ContactRows::makeRow(name, ContactRows::kOffline);
        if (topLevelItemCount() < 3)
            addTopLevelItem(row);
        else
            insertTopLevelItem(3, row);
    }

    // A handful of request windows at a time: a reply listing thousands
    // would otherwise open thousands of windows. The others stay waiting
    // at the service and come back at a later log-in.
    int open = 0;
    for (const TfrmNewContact *window : this->window()->findChildren<TfrmNewContact *>()) {
        if (window->isVisible())
            ++open;
    }
    int n = 0;
    for (const QString &request : requests) {
        if (open + n >= kMaxRequestWindows)
            break;
        ++n;
        TfrmNewContact *window = NewContactWindow(request);
        window->move(TfrmNewContact::kDesignPosition + QPoint(n, n) * kRequestWindowStep);
        window->show();
        window->repaint();
    }

    show();
}

void TContactView::endSession()
{
    clear();
    // The count belonged to the session; its design text comes back.
    m_heading.setText(QStringLiteral("Contacts en ligne"));
}

void TContactView::CheckFriend(bool popups)
{
    const QList<PresenceTransition> moves = m_presence.CheckFriend();
    const QString placeholder = ContactRows::placeholder();
    if (!moves.isEmpty()) {
        RowIndex rows(this);
        for (const PresenceTransition &move : moves) {
            if (QTreeWidgetItem *old = rows.first(move.name))
                rows.remove(old);
            if (move.online) {
                if (rowReads(this, 1, placeholder))
                    rows.remove(topLevelItem(1));
                rows.insert(qMin(1, topLevelItemCount()), ContactRows::makeRow(move.name, ContactRows::kOnline));
            } else {
                QTreeWidgetItem *header = rows.first(ContactRows::offlineHeader());
                const int position = header ? indexOfTopLevelItem(header) + 1 : topLevelItemCount();
                rows.insert(position, ContactRows::makeRow(move.name, ContactRows::kOffline));
            }
        }
    }
    if (m_presence.onlineContacts().isEmpty() && !rowReads(this, 1, placeholder)) {
        insertTopLevelItem(
            qMin(1, topLevelItemCount()), ContactRows::makeRow(placeholder, ContactRows::kPlaceholder));
        m_heading.setText(QStringLiteral("Contacts en ligne (0)"));
    } else {
        m_heading.setText(QStringLiteral("Contacts en ligne (%1)").arg(m_presence.onlineContacts().size()));
    }

    // The pop-ups come once the view is in order: each one fetches an
    // avatar, and events run while it waits.
    if (popups) {
        for (const PresenceTransition &move : moves) {
            if (move.online)
                emit cameOnline(move.name);
        }
    }
}

void TContactView::contactDeleted(const QString &pseudo)
{
    // The question and the requests let events run, and a presence check
    // may have moved the row meanwhile: the selected row goes when it is
    // still that contact's, otherwise the contact's own row.
    QTreeWidgetItem *row = nullptr;
    const QList<QTreeWidgetItem *> selected = selectedItems();
    if (!selected.isEmpty() && ContactRows::textOf(selected.first()) == pseudo)
        row = selected.first();
    for (int i = 0; !row && i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *candidate = topLevelItem(i);
        if (ContactRows::imageIndexOf(candidate) >= 0 && ContactRows::textOf(candidate) == pseudo)
            row = candidate;
    }
    delete row;
}

QTreeWidgetItem *TContactView::FindInSubItems(const QString &text, QTreeWidget *view, int column)
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

QString TContactView::SelectedContact() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : ContactRows::textOf(selected.first());
}

void TContactView::lbOnlineContextPopup(const QPoint &)
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    if (selected.isEmpty() || ContactRows::imageIndexOf(selected.first()) < 0)
        return;
    m_menu->popup(QCursor::pos());
}

void TContactView::setDropAccepted(bool accepted)
{
    viewport()->setAcceptDrops(accepted);
}

void TContactView::PopupMenuContactsPopup()
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    const int image = selected.isEmpty() ? ContactRows::kHeader : ContactRows::imageIndexOf(selected.first());
    m_chat->setVisible(image == ContactRows::kOnline);
    m_sendFile->setVisible(image == ContactRows::kOnline);
    if (image == ContactRows::kOnline)
        m_menu->setDefaultAction(m_chat);
    else if (image == ContactRows::kOffline)
        m_menu->setDefaultAction(m_mail);
    else
        m_menu->setDefaultAction(nullptr);
}

void TContactView::openAddress(const QString &address)
{
    if (!m_dialogs.openUrl(address))
        emit openFailed(address);
}

void TContactView::AffichCarte(const QString &pseudo)
{
    if (!m_card)
        return;
    TfrmCard *card = m_card;
    QPoint position = QCursor::pos();
    const QList<QTreeWidgetItem *> selected = selectedItems();
    if (!selected.isEmpty()) {
        const QRect row = visualItemRect(selected.first());
        position = QPoint(row.left() + window()->x() + x(), row.top() + window()->y() + y());
    }
    card->lblPseudo->setText(pseudo);

    // The view or the card may be destroyed while the service answers.
    const QPointer<TContactView> alive(this);
    const QPointer<TfrmCard> cardAlive(card);
    QString body;
    HttpClient &http = m_session.http();
    const bool answered = http.get(ServiceRequests::cardDetails(pseudo), body);
    if (!alive || !cardAlive)
        return;
    if (!answered) {
        m_dialogs.showMessage(
            http.failureText(networkDownText()), QStringLiteral("Voxlane"), DialogService::Kind::Error);
        return;
    }
    const ServiceReplies::CardDetails details = ServiceReplies::readCardDetails(body);
    card->setDetails(pseudo, details.email, details.web);
    card->setCanSendFile(pseudo != m_session.currentPseudo() && !m_presence.GetIP(pseudo).isEmpty());
    card->move(position);
    // The card is reused: the previous member's picture must not stay when
    // this member's avatar cannot be fetched.
    card->imgAvatar->clear();
    card->show();
    AvatarLabel::show(m_avatars, pseudo, card->imgAvatar, false);
}

void TContactView::Afficherlacartedevisite1Click()
{
    const QString pseudo = SelectedContact();
    if (!pseudo.isEmpty())
        AffichCarte(pseudo);
}

void TContactView::AfficherProfil1Click()
{
    if (selectedItems().isEmpty())
        return;
    QString idText;
    HttpClient &http = m_session.http();
    if (!http.get(ServiceRequests::memberId(SelectedContact()), idText)) {
        m_dialogs.showMessage(
            http.failureText(networkDownText()), QStringLiteral("Voxlane"), DialogService::Kind::Error);
        return;
    }
    openAddress(ServiceRequests::profilePage(m_serviceUrl, idText));
}

void TContactView::Envoyerunmessage2Click()
{
    QString address;
    if (!m_session.NewHttpClient()->get(
            ServiceRequests::memberInfo(QStringLiteral("getmail"), SelectedContact()), address))
        address.clear();
    openAddress(ServiceRequests::mailPage(address));
}

void TContactView::Supprimerceprofil1Click()
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    if (selected.isEmpty() || ContactRows::imageIndexOf(selected.first()) < 0)
        return;
    m_contacts.DeleteContact(ContactRows::textOf(selected.first()));
}

TfrmNewContact *TContactView::NewContactWindow(const QString &pseudo)
{
    auto *window = new TfrmNewContact(this->window());
    window->lblUsername->setText(pseudo);
    window->setContactManager(&m_contacts);
    window->AvatarLoader = [&avatars = m_avatars](const QString &member, QLabel *target) {
        AvatarLabel::show(avatars, member, target, false);
    };
    return window;
}
