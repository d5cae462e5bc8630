#include "contacts/ui/TContactPage.h"

#include "base/ErrorReport.h"
#include "components/ui/PageLook.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbPanel.h"
#include "contacts/ContactManager.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <functional>

namespace {

constexpr int kEnterKey = 13;

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

TContactPage::TContactPage(ContactManager &contacts, QWidget *parent)
    : QWidget(parent)
    , m_contacts(contacts)
{
    setObjectName(QStringLiteral("TabSheet6"));
    PageLook::heading(QStringLiteral("Gestion des contacts"), QStringLiteral("lblHeading6"), this);
    m_group = new TRbPanel(this);
    m_group->setObjectName(QStringLiteral("grpAddContact"));
    m_group->setCaption(QStringLiteral(" Ajout d'un contact "));
    m_group->setCaptionPosition(cpGroupBox);
    m_group->setParentColor(true);
    m_group->setGeometry(16, 50, 460, 110);
    auto *hint
        = new QLabel(QStringLiteral("Pour ajouter un contact, tapez son pseudo et cliquez sur OK"), m_group);
    hint->setGeometry(12, 24, 436, 18);
    auto *caption = new QLabel(QStringLiteral("Pseudo : "), m_group);
    caption->setGeometry(12, 60, 60, 22);
    m_pseudo = new QLineEdit(m_group);
    m_pseudo->setObjectName(QStringLiteral("txtAddPseudo"));
    m_pseudo->setGeometry(76, 60, 240, 22);
    m_ok = new TRbButton(m_group);
    m_ok->setObjectName(QStringLiteral("btnPseudoOK"));
    m_ok->setCaption(QStringLiteral("OK"));
    m_ok->UseFormColors();
    m_ok->setDefault(true);
    m_ok->setGeometry(328, 58, 80, 26);

    connect(m_ok, &TRbButton::OnClick, this, &TContactPage::btnPseudoOKClick);
    m_pseudo->installEventFilter(new FieldKeys(m_pseudo, [this](int key) { txtAddPseudoKeyDown(key); }));
}

void TContactPage::TabSheet6Show()
{
    m_pseudo->setFocus();
}

void TContactPage::txtAddPseudoKeyDown(int key)
{
    if (key == kEnterKey)
        btnPseudoOKClick();
}

void TContactPage::btnPseudoOKClick()
{
    // The request lets events run while it waits; a second press meanwhile
    // would file the same request twice.
    if (!m_ok->isEnabled())
        return;
    m_ok->setEnabled(false);
    ContactManager::AskResult result = ContactManager::AskResult::Nothing;
    ErrorReport::guard([this, &result] { result = m_contacts.AskContact(m_pseudo->text()); });
    m_ok->setEnabled(true);

    switch (result) {
    case ContactManager::AskResult::NotRegistered:
        m_pseudo->selectAll();
        m_pseudo->setFocus();
        break;
    case ContactManager::AskResult::NotRecorded:
    case ContactManager::AskResult::Recorded:
        m_pseudo->clear();
        m_pseudo->setFocus();
        break;
    case ContactManager::AskResult::Nothing:
    case ContactManager::AskResult::AlreadyContact:
    case ContactManager::AskResult::NetworkDown:
        break;
    }
}
