// Contact management: the contact page, the request windows and deletion
// from the contact menu. The work is ContactManager's; the window only reads
// its controls and keeps its lists and view in step with the signals.
#include "app/ui/TfrmPrincipal.h"

#include "base/ErrorReport.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbPanel.h"
#include "contacts/ContactManager.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TfrmNewContact.h"
#include "service/ServiceSession.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTreeWidget>

#include <functional>

namespace {

constexpr int kEnterKey = 13;
constexpr int kContactPage = 5;

// The field answers Enter itself and keeps the key: left to travel on, it
// would reach the window and click the page's default button a second time.
class FieldKeys : public QObject
{
public:
    FieldKeys(QObject *parent, std::function<void(int)> keyDown)
        : QObject(parent)
        , m_keyDown(std::move(keyDown))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                m_keyDown(kEnterKey);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(int)> m_keyDown;
};

} // namespace

void TfrmPrincipal::buildContacts()
{
    ContactManager::Context context;
    context.http = IdHTTP1;
    context.dialogs = services.dialogs;
    context.currentPseudo = [this] { return session.CurrentPseudo; };
    context.isContact
        = [this](const QString &name) { return session.ContactList.contains(name, Qt::CaseInsensitive); };
    Contacts = new ContactManager(std::move(context), this);
    Contacts->setObjectName(QStringLiteral("Contacts"));

    connect(Contacts, &ContactManager::contactAccepted, this, [this](const QString &pseudo) {
        if (!session.ContactList.contains(pseudo, Qt::CaseInsensitive)) {
            session.ContactList.append(pseudo);
            SortContactList();
        }
        // A member already counted (both members asked each other) is not
        // counted twice; the next check moves it where it belongs.
        if (!presence.OnlineContacts.contains(pseudo) && !presence.OfflineContacts.contains(pseudo))
            presence.OnlineContacts.append(pseudo);
    });
    connect(Contacts, &ContactManager::checkFriendRequested, this, &TfrmPrincipal::CheckFriend);
    connect(Contacts, &ContactManager::contactDeleted, this, [this](const QString &pseudo) {
        for (qsizetype i = 0; i < session.ContactList.size(); ++i) {
            if (session.ContactList.at(i).compare(pseudo, Qt::CaseInsensitive) == 0) {
                session.ContactList.removeAt(i);
                break;
            }
        }
        // The question and the requests let events run, and a presence
        // check may have moved the row meanwhile: the selected row goes when
        // it is still that contact's, otherwise the contact's own row.
        QTreeWidgetItem *row = nullptr;
        const QList<QTreeWidgetItem *> selected = lbOnline->selectedItems();
        if (!selected.isEmpty() && ContactRows::textOf(selected.first()) == pseudo)
            row = selected.first();
        for (int i = 0; !row && i < lbOnline->topLevelItemCount(); ++i) {
            QTreeWidgetItem *candidate = lbOnline->topLevelItem(i);
            if (ContactRows::imageIndexOf(candidate) >= 0 && ContactRows::textOf(candidate) == pseudo)
                row = candidate;
        }
        delete row;
    });

    // The contact page.
    auto *group = new TRbPanel(TabSheet6);
    grpAddContact = group;
    group->setObjectName(QStringLiteral("grpAddContact"));
    group->setCaption(QStringLiteral(" Ajout d'un contact "));
    group->setCaptionPosition(cpGroupBox);
    group->setParentColor(true);
    group->setGeometry(16, 50, 460, 110);
    auto *hint
        = new QLabel(QStringLiteral("Pour ajouter un contact, tapez son pseudo et cliquez sur OK"), group);
    hint->setGeometry(12, 24, 436, 18);
    auto *label = new QLabel(QStringLiteral("Pseudo : "), group);
    label->setGeometry(12, 60, 60, 22);
    txtAddPseudo = new QLineEdit(group);
    txtAddPseudo->setObjectName(QStringLiteral("txtAddPseudo"));
    txtAddPseudo->setGeometry(76, 60, 240, 22);
    btnPseudoOK = new TRbButton(group);
    btnPseudoOK->setObjectName(QStringLiteral("btnPseudoOK"));
    btnPseudoOK->setCaption(QStringLiteral("OK"));
    btnPseudoOK->UseFormColors();
    btnPseudoOK->setDefault(true);
    btnPseudoOK->setGeometry(328, 58, 80, 26);

    connect(btnPseudoOK, &TRbButton::OnClick, this, &TfrmPrincipal::btnPseudoOKClick);
    txtAddPseudo->installEventFilter(new FieldKeys(txtAddPseudo, [this](int key) { txtAddPseudoKeyDown(key); }));
    connect(PageControl, &QStackedWidget::currentChanged, this, [this](int index) {
        if (index == kContactPage)
            TabSheet6Show();
    });
    connect(Supprimerceprofil1, &QAction::triggered, this, &TfrmPrincipal::Supprimerceprofil1Click);
    connect(Gestiondescontacts1, &QAction::triggered, this, &TfrmPrincipal::Gestiondescontacts1Click);
}

void TfrmPrincipal::TabSheet6Show()
{
    txtAddPseudo->setFocus();
}

void TfrmPrincipal::txtAddPseudoKeyDown(int key)
{
    if (key == kEnterKey)
        btnPseudoOKClick();
}

void TfrmPrincipal::btnPseudoOKClick()
{
    // The request lets events run while it waits; a second press meanwhile
    // would file the same request twice.
    if (!btnPseudoOK->isEnabled())
        return;
    btnPseudoOK->setEnabled(false);
    ContactManager::AskResult result = ContactManager::AskResult::Nothing;
    ErrorReport::guard([this, &result] { result = Contacts->AskContact(txtAddPseudo->text()); });
    btnPseudoOK->setEnabled(true);

    switch (result) {
    case ContactManager::AskResult::NotRegistered:
        txtAddPseudo->selectAll();
        txtAddPseudo->setFocus();
        break;
    case ContactManager::AskResult::NotRecorded:
    case ContactManager::AskResult::Recorded:
        txtAddPseudo->clear();
        txtAddPseudo->setFocus();
        break;
    case ContactManager::AskResult::Nothing:
    case ContactManager::AskResult::AlreadyContact:
    case ContactManager::AskResult::NetworkDown:
        break;
    }
}

void TfrmPrincipal::Gestiondescontacts1Click()
{
    lblEnvoyerClick(lblMnuContact);
}

void TfrmPrincipal::Supprimerceprofil1Click()
{
    const QList<QTreeWidgetItem *> selected = lbOnline->selectedItems();
    if (selected.isEmpty() || ContactRows::imageIndexOf(selected.first()) < 0)
        return;
    Contacts->DeleteContact(ContactRows::textOf(selected.first()));
}

TfrmNewContact *TfrmPrincipal::NewContactWindow(const QString &pseudo)
{
    auto *window = new TfrmNewContact(this);
    window->lblUsername->setText(pseudo);
    window->setContactManager(Contacts);
    window->AvatarLoader
        = [this](const QString &member, QLabel *target) { GetAvatar(member, target, false); };
    return window;
}
