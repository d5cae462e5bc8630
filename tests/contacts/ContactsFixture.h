#pragma once

#include "app/ui/TfrmPrincipal.h"
#include "contacts/ui/ContactRows.h"

#include "support/FakeService.h"
#include "support/MainWindowFixture.h"

#include <QPointer>
#include <QSet>
#include <QStringList>

#include <utility>

class TfrmMsgBox;

// Notes every notification pop-up as it is shown.
class PopupRecorder : public QObject
{
public:
    QList<QPointer<TfrmMsgBox>> shown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// A main window talking to a fake service, with pop-ups recorded.
class ContactsFixture : public MainWindowFixture
{
protected:
    struct Popup
    {
        QString who;
        QString text;
        int kind;
        QSize avatar; // size of the picture the pop-up shows
    };

    ContactsFixture();
    ~ContactsFixture() override;

    TestClient &createContactsWindow(const QString &pseudo = QStringLiteral("moi"));

    // The state the log-in leaves before its first poll: the two headers,
    // the contacts sorted, all offline.
    void logIn(const QStringList &contacts);

    // A presence reply listing these (name, clear address) pairs, each
    // address encrypted for its name as its owner's client sends it.
    QString presenceBody(const QList<std::pair<QString, QString>> &members) const;
    void scriptPresence(const QList<std::pair<QString, QString>> &members);
    void scriptOnline(const QStringList &names);

    // Rows of lbOnline as "text/image".
    QStringList rows() const;
    QStringList recipients() const;

    // The notification pop-ups opened so far (since clearPopups), in order.
    QList<Popup> popups();
    void clearPopups();

    FakeService service;
    // When set, scriptPresence() also serves this picture as every member's
    // avatar (member id "5").
    QByteArray avatarForAll;

private:
    PopupRecorder m_recorder;
    QList<Popup> m_popups;
    QSet<QObject *> m_seenPopups;
};
