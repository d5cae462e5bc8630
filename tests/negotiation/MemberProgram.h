#pragma once

#include "base/SettingsStore.h"

#include "support/ScriptedDialogs.h"
#include "support/TestClient.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class TvzkLoadPanel;

// One member's whole client in a test: its own folder and settings, scripted
// dialogs, every window wired as at start.
struct MemberProgram
{
    QString pseudo;
    QString ip;
    QTemporaryDir home;
    // When set, the program's folder instead of home (a client run as a
    // process of its own, started again on the same folder).
    QString folder;
    QString homePath() const { return folder.isEmpty() ? home.path() : folder; }
    std::unique_ptr<SettingsStore> settings;
    ScriptedDialogs dialogs;
    std::unique_ptr<TestClient> w;
    // The desktop bus of the next start; the session bus when empty.
    std::function<QDBusConnection()> desktopBus;

    // Starts the program on its folder against the service at serviceUrl,
    // listening on ip, as a start or restart of the program does.
    void start(const QString &serviceUrl);
    // The windows go without the exit's steps (no list saved, no log-out).
    void end();

    // The panel of the first transfer of a list; null when the list is empty.
    TvzkLoadPanel *first(TransferManager::List list) const;
    QString log() const;
};

// Closes the notification pop-ups still on screen: they belong to no window
// and would outlive the program's end.
void closePopups();

// The service's presence reply with each member online at its address.
QString presenceReply(const QList<const MemberProgram *> &members);
