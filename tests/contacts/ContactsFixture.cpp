#include "ContactsFixture.h"

#include "app/ui/TfrmMsgBox.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/ContactRows.h"
#include "service/ServiceSession.h"

#include <QApplication>
#include <QLabel>

#include <QCollator>
#include <QTimer>
#include <QTreeWidget>

ContactsFixture::ContactsFixture()
{
    environment.serviceUrl = service.baseUrl();
}

namespace {

// Pop-ups are windows of the desktop, not children of the main window.
QList<TfrmMsgBox *> openPopups()
{
    QList<TfrmMsgBox *> boxes;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<TfrmMsgBox *>(top))
            boxes.append(box);
    }
    return boxes;
}

} // namespace

ContactsFixture::~ContactsFixture()
{
    // Pop-ups still sliding must not outlive the window they report to.
    qDeleteAll(openPopups());
}

TestClient &ContactsFixture::createContactsWindow(const QString &pseudo)
{
    qApp->installEventFilter(&m_recorder);
    TestClient &w = createWindow();
    w.session().setAccount(pseudo, pseudo);
    return w;
}

void ContactsFixture::logIn(const QStringList &contacts)
{
    TestClient &w = *window;
    QStringList sorted = contacts;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(sorted.begin(), sorted.end(), collator);
    // The session's own log-in, its requests forgotten: the tests count
    // what comes after.
    EXPECT_TRUE(w.logInSession(service, w.session().currentPseudo(), 0, sorted));
    w.TimerRefresh->stop();
    w.presence().startContacts(w.session().contactList());
    service.requests.clear();
    // The view as the log-in leaves it, whatever the session's signals
    // already put in it.
    w.lbOnline->clear();
    w.lbOnline->addTopLevelItem(ContactRows::makeRow(ContactRows::onlineHeader(), ContactRows::kHeader));
    w.lbOnline->addTopLevelItem(ContactRows::makeRow(ContactRows::offlineHeader(), ContactRows::kHeader));
    for (const QString &name : sorted) {
        const int at = qMin(3, w.lbOnline->topLevelItemCount());
        w.lbOnline->insertTopLevelItem(at, ContactRows::makeRow(name, ContactRows::kOffline));
    }
    w.lbOnline->show();
    w.TimerRefresh->start();
}

QString ContactsFixture::presenceBody(const QList<std::pair<QString, QString>> &members) const
{
    QString body = QStringLiteral("<html><body>\r\n");
    for (const auto &[name, address] : members) {
        QString letters;
        window->session().codec().EncryptForUser(name, address, letters);
        body += QStringLiteral("pseudo=") + name + QStringLiteral("<br>") + letters
            + QStringLiteral("<br>\r\n");
    }
    return body + QStringLiteral("</body></html>");
}

void ContactsFixture::scriptPresence(const QList<std::pair<QString, QString>> &members)
{
    service.clearScripts();
    service.script("/voxlane/getconnected.php", FakeService::Reply::text(presenceBody(members)));
    if (!avatarForAll.isEmpty()) {
        service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("5")));
        service.script("/avatars/5.jpg", FakeService::Reply::bytes(avatarForAll));
    }
}

void ContactsFixture::scriptOnline(const QStringList &names)
{
    QList<std::pair<QString, QString>> members;
    int n = 1;
    for (const QString &name : names)
        members.append({ name, QStringLiteral("10.0.0.%1").arg(n++) });
    scriptPresence(members);
}

QStringList ContactsFixture::rows() const
{
    QStringList out;
    for (int i = 0; i < window->lbOnline->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = window->lbOnline->topLevelItem(i);
        out.append(ContactRows::textOf(row) + u'/' + QString::number(ContactRows::imageIndexOf(row)));
    }
    return out;
}

QStringList ContactsFixture::recipients() const
{
    QStringList out;
    for (int i = 0; i < window->lBoxSendToFriends->topLevelItemCount(); ++i)
        out.append(ContactRows::textOf(window->lBoxSendToFriends->topLevelItem(i)));
    return out;
}

QList<ContactsFixture::Popup> ContactsFixture::popups()
{
    // In the order they were shown.
    for (const QPointer<TfrmMsgBox> &box : m_recorder.shown) {
        if (!box || m_seenPopups.contains(box.data()))
            continue;
        m_seenPopups.insert(box.data());
        const QStringList lines = box->lblTexteCentral->text().split(QStringLiteral("\n\r"));
        m_popups.append({ lines.value(0), lines.value(1), int(box->Kind), box->imgAvatar->pixmap().size() });
    }
    return m_popups;
}

void ContactsFixture::clearPopups()
{
    popups();
    m_popups.clear();
}

bool PopupRecorder::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        if (auto *box = qobject_cast<TfrmMsgBox *>(watched)) {
            if (!shown.contains(box))
                shown.append(box);
        }
    }
    return QObject::eventFilter(watched, event);
}
