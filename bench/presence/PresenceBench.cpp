// One presence tick at scale: 100 000 members online, 5 000 contacts.
// A tick is what the refresh timer does once the reply is in: decode and
// parse the reply, refill the online list and OnlineUsers, the contact check
// (rows, heading) and the recipient list. The contact check runs without
// its pop-ups: each is a window of its own that waits on the service for an
// avatar, a cost per contact coming online, not per member listed.
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "base/Cp1252.h"
#include "base/DialogService.h"
#include "base/SettingsStore.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TContactView.h"
#include "negotiation/ui/TSendPage.h"
#include "service/CredentialCodec.h"
#include "service/ServiceSession.h"

#include "support/FakeService.h"

#include <QApplication>
#include <QCollator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <numeric>
#include <cstdio>

namespace {

constexpr int kOnline = 100000;
constexpr int kPopulation = 110000;
constexpr int kContacts = 5000;
constexpr int kTicks = 10;
constexpr double kChurn = 0.05; // share of the online members replaced at each tick

class SilentDialogs : public DialogService
{
public:
    void showMessage(const QString &, const QString &, Kind) override { }
    bool askYesNo(const QString &, const QString &) override { return true; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    bool openUrl(const QString &) override { return true; }
};

QString nameOf(int member)
{
    return QStringLiteral("membre%1").arg(member);
}

QByteArray replyBody(const QList<int> &online)
{
    QString body = QStringLiteral("<html><body>\r\n");
    body.reserve(online.size() * 48);
    for (int member : online) {
        body += QStringLiteral("pseudo=") + nameOf(member) + QStringLiteral("<br>");
        // Address letters as a client sends them: 2 letters per byte.
        body += QStringLiteral("kdlfjeiwoqpamznxbcvhgtyr%1").arg(member % 97) + QStringLiteral("<br>\r\n");
    }
    body += QStringLiteral("</body></html>");
    return Cp1252::encode(body);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home;
    SettingsStore settings(home.filePath(QStringLiteral("Voxlane.conf")));
    SilentDialogs dialogs;
    // The community service the log-in talks to: it accepts the account
    // with every contact.
    FakeService service;
    AppServices services;
    services.dialogs = &dialogs;
    services.settings = &settings;
    services.environment.homeDir = home.path();
    services.environment.serviceUrl = service.baseUrl();
    services.environment.localIp = QStringLiteral("127.0.0.1");
    ApplicationWindows program(services);
    TfrmPrincipal &w = program.main();
    ServiceSession &session = program.controllers().session();
    PresenceMonitor &presence = program.controllers().presence();
    TContactView &lbOnline = w.contactView();
    w.show();

    QRandomGenerator rng(2024);
    QList<int> population(kPopulation);
    std::iota(population.begin(), population.end(), 0);
    std::shuffle(population.begin(), population.end(), rng);

    // Contacts: any 5 000 members; the account is one of the online ones.
    QStringList contacts;
    for (int i = 0; i < kContacts; ++i)
        contacts.append(nameOf(population.at(i * (kPopulation / kContacts))));
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(contacts.begin(), contacts.end(), collator);
    const QString me = nameOf(population.at(1));
    service.script("/voxlane/connect.php",
        FakeService::Reply::text(QStringLiteral("autorisé\r\n[Contacts]\r\n") + contacts.join(QStringLiteral("\r\n"))
            + QStringLiteral("\r\n[Bloqués]\r\n[Ask]\r\n[Messages]\r\n")));
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("1")));
    session.setAccount(me, me);
    if (!session.OpenSession(me, CredentialCodec::MD5Hex(me))) {
        std::fprintf(stderr, "the log-in was refused\n");
        return 1;
    }
    presence.refreshTimer().stop();
    presence.startContacts(session.contactList());

    // The log-in's view: two headers and every contact offline.
    lbOnline.clear();
    lbOnline.addTopLevelItem(ContactRows::makeRow(ContactRows::onlineHeader(), ContactRows::kHeader));
    lbOnline.addTopLevelItem(ContactRows::makeRow(ContactRows::offlineHeader(), ContactRows::kHeader));
    for (const QString &name : session.contactList())
        lbOnline.insertTopLevelItem(
            qMin(3, lbOnline.topLevelItemCount()), ContactRows::makeRow(name, ContactRows::kOffline));
    lbOnline.show();

    // Replies: the first 100 000 of the shuffled population, then at each
    // tick 5 % of them swapped for members who were offline.
    QList<QByteArray> replies;
    QList<int> online = population.mid(0, kOnline);
    QList<int> offline = population.mid(kOnline);
    for (int t = 0; t <= kTicks; ++t) {
        replies.append(replyBody(online));
        for (int k = 0; k < int(kOnline * kChurn); ++k) {
            const int i = int(rng.bounded(kOnline));
            const int j = int(rng.bounded(int(offline.size())));
            std::swap(online[i], offline[j]);
        }
    }

    const auto tick = [&](const QByteArray &reply, bool popups) {
        presence.ApplyPresenceReply(Cp1252::decode(reply)); // the HTTP client decodes the body
        lbOnline.CheckFriend(popups);
        w.sendPage().RefillSendToFriends();
    };

    QElapsedTimer timer;
    timer.start();
    tick(replies.at(0), false); // the log-in: every online contact moves up
    const double first = double(timer.nsecsElapsed()) / 1e6;
    QCoreApplication::processEvents();
    std::printf("log-in tick: %.1f ms, %lld contacts online\n", first,
        static_cast<long long>(presence.onlineContacts().size()));

    double total = 0;
    double worst = 0;
    for (int t = 1; t <= kTicks; ++t) {
        timer.restart();
        tick(replies.at(t), false);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        total += ms;
        worst = std::max(worst, ms);
        QCoreApplication::processEvents(); // the view lays out between ticks, as it would
    }
    std::printf("worst tick: %.1f ms; %lld contacts online, status panel: %s\n", worst,
        static_cast<long long>(presence.onlineContacts().size()),
        presence.GetIP(session.currentPseudo()).isEmpty() ? "empty" : "set");
    std::printf("presence: %.0f ms per tick (%d online, %d contacts)\n", total / kTicks, kOnline, kContacts);
    return 0;
}
