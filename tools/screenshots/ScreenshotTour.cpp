// voxlane-screenshots OUTDIR SERVICE_URL HOMES
//
// Two members, alice and bob, log in to the community service named on the
// command line (scripts/screenshots starts the reference service with the
// demo members on a fresh database), and every window and page of the
// client is drawn into OUTDIR as one PNG each. The members' program folders
// are made under HOMES, an empty folder: the pages show paths inside them,
// so the script gives the same HOMES on every run.
//
// The pictures are made to come out the same on every run of the same
// build: each window is drawn with QWidget::grab() (its own contents, not
// what the screen happens to show over it), the text cursor does not blink,
// the activity bar is stopped at its first frame, the transfer lists are
// restored from files written here with fixed ids and dates, and nothing
// moves the mouse.
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmAbout.h"
#include "app/ui/TfrmMsgBox.h"
#include "app/ui/TfrmPrincipal.h"
#include "app/ui/VoxlaneApplication.h"
#include "base/DialogService.h"
#include "base/SettingsStore.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TDistractBar.h"
#include "components/ui/TRbButton.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/ui/TfrmChangeAvatar.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/TContactView.h"
#include "contacts/ui/TfrmNewContact.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/ServiceSession.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferListStore.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/TransferRate.h"
#include "components/ui/TStatusBar.h"
#include "transfer/ui/TfrmPropriete.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QQueue>
#include <QStackedWidget>
#include <QTextStream>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

// Answers the client's questions without a modal box: the tour must never
// wait on the user.
class TourDialogs : public DialogService
{
public:
    void showMessage(const QString &, const QString &, Kind) override { }
    bool askYesNo(const QString &, const QString &) override { return true; }
    QString saveFileName(const QString &, const QString &, const QString &) override
    {
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }
    QString openFileName(const QString &, const QString &, const QString &) override
    {
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }
    bool openUrl(const QString &) override { return true; }

    QQueue<QString> fileNames;
};

struct Member
{
    QString pseudo;
    QString home;
    std::unique_ptr<SettingsStore> settings;
    TourDialogs dialogs;
    std::unique_ptr<ApplicationWindows> windows;
    TfrmPrincipal *w = nullptr;
    TfrmReception *reception = nullptr;

    // A control of the main window by its object name.
    template <class Control> Control *control(const char *name) const
    {
        return w->findChild<Control *>(QLatin1String(name));
    }
    AppControllers &controllers() const { return windows->controllers(); }
};

bool waitFor(const std::function<bool()> &done, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void settle()
{
    // Replies, avatars and repaints that are already on their way.
    QDeadlineTimer deadline(300);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class Tour
{
public:
    Tour(QString out, QString serviceUrl, QString homes)
        : m_root(std::move(homes))
        , m_out(std::move(out))
        , m_serviceUrl(std::move(serviceUrl))
    {
    }

    bool failed() const { return m_failed; }

    void shoot(QWidget *w, const QString &name)
    {
        settle();
        shootNow(w, name);
    }

    // Without letting events run first: for a state that lasts only while
    // the caller's handler runs.
    void shootNow(QWidget *w, const QString &name)
    {
        if (auto *main = qobject_cast<TfrmPrincipal *>(w))
            freezeInfoBar(main);
        if (!w->grab().save(QDir(m_out).filePath(name + QStringLiteral(".png")))) {
            fail(QStringLiteral("cannot write ") + name);
            return;
        }
        std::printf("screenshots: %s.png\n", qPrintable(name));
    }

    void fail(const QString &why)
    {
        std::fprintf(stderr, "screenshots: %s\n", qPrintable(why));
        m_failed = true;
    }

    void start(Member &m, const QString &pseudo, const QString &ip)
    {
        m.pseudo = pseudo;
        m.home = m_root.filePath(pseudo);
        QDir().mkpath(m.home);
        m.settings = std::make_unique<SettingsStore>(m.home + QStringLiteral("/config/Voxlane.conf"));
        // The desktop's download folder differs from one machine to another.
        m.settings->write(QStringLiteral("DownloadPath"), m.home + QStringLiteral("/Téléchargements"));
        AppServices services;
        services.dialogs = &m.dialogs;
        services.settings = m.settings.get();
        services.environment.homeDir = m.home;
        services.environment.serviceUrl = m_serviceUrl;
        services.environment.localIp = ip;
        m.windows = std::make_unique<ApplicationWindows>(services);
        m.w = &m.windows->main();
        m.reception = &m.windows->reception();
        m.reception->Flash = nullptr;
        m.w->move(0, 0);
        m.w->show();
    }

    bool logIn(Member &m)
    {
        m.control<QLineEdit>("txtPseudo")->setText(m.pseudo);
        m.control<QLineEdit>("txtMDP")->setText(m.pseudo);
        m.control<QPushButton>("btnConnexion")->click();
        const bool connected = m.controllers().session().isConnected();
        if (!connected)
            fail(m.pseudo + QStringLiteral(" could not log in: ") + m.control<QLabel>("lblInfo")->text());
        return connected;
    }

    // A saved list for the member's next log-in: ids and sizes fixed, so
    // that the pages show the same panels on every run.
    void writeList(const Member &m, const QByteArray &downloads, int downloadCount, const QByteArray &uploads,
        int uploadCount)
    {
        QFile file(m.home + QLatin1Char('/') + m.pseudo + QStringLiteral(".xml"));
        if (!file.open(QIODevice::WriteOnly)) {
            fail(QStringLiteral("cannot write the transfer list of ") + m.pseudo);
            return;
        }
        file.write("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Voxlane><Info><NbUpLoad>"
            + QByteArray::number(uploadCount) + "</NbUpLoad><NbDownLoad>" + QByteArray::number(downloadCount)
            + "</NbDownLoad></Info><Download>" + downloads + "</Download><Upload>" + uploads
            + "</Upload></Voxlane>");
    }

    QString home(const Member &m) const { return m.home; }

private:
    // The activity bar runs on a thread of its own: stopped and set back to
    // its first frame, it draws the same picture at every grab.
    static void freezeInfoBar(TfrmPrincipal *w)
    {
        auto *bar = w->findChild<TDistractBar *>(QStringLiteral("DistractBar1"));
        bar->setAnimated(false);
        bar->ResetProcess();
        bar->RepaintNow();
        bar->repaint();
    }

    QDir m_root;
    QString m_out;
    QString m_serviceUrl;
    bool m_failed = false;
};

QByteArray entry(const char *id, const char *name, const char *owner, const QString &path, qint64 size,
    const QByteArray &done, int port, const char *status)
{
    return "<Fichier><IDTel>" + QByteArray(id) + "</IDTel><FichierName>" + name
        + "</FichierName><FichierProprio>" + owner + "</FichierProprio><FichierPath>" + path.toLatin1()
        + "</FichierPath><FichierPoids>" + QByteArray::number(size) + "</FichierPoids><FichierTel>" + done
        + "</FichierTel><Port>" + QByteArray::number(port) + "</Port><Status>" + status
        + "</Status></Fichier>";
}

template <class Window> Window *newestWindow(const QList<QWidget *> &before)
{
    Window *found = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *w = qobject_cast<Window *>(top); w && !before.contains(top) && w->isVisible())
            found = w;
    return found;
}

void closePopUps()
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *b = qobject_cast<TfrmMsgBox *>(top); b && b->isVisible())
            b->btnCloseClick();
    settle();
}

} // namespace

int main(int argc, char **argv)
{
    VoxlaneApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: voxlane-screenshots OUTDIR SERVICE_URL HOMES\n");
        return 2;
    }
    // A blinking cursor would be caught half the time.
    QApplication::setCursorFlashTime(0);
    QApplication::setQuitOnLastWindowClosed(false);
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    Tour tour(out, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));

    Member alice;
    Member bob;
    tour.start(alice, QStringLiteral("alice"), QStringLiteral("127.0.0.2"));
    tour.start(bob, QStringLiteral("bob"), QStringLiteral("127.0.0.3"));
    bob.w->move(740, 0);

    // The log-in page, the member's name typed.
    alice.control<QLineEdit>("txtPseudo")->setText(QStringLiteral("alice"));
    alice.control<QLineEdit>("txtMDP")->setText(QStringLiteral("alice"));
    tour.shoot(alice.w, QStringLiteral("01-login"));

    // Bob's saved lists: one finished download, and one stopped at 40 % that
    // waits for alice to send the rest. Their ports are clear of the ones a
    // new offer takes first, which bob would refuse.
    const QString bobTemp = tour.home(bob) + QStringLiteral("/temp");
    QDir().mkpath(bobTemp);
    {
        QFile partial(bobTemp + QStringLiteral("/vacances.avi"));
        if (partial.open(QIODevice::WriteOnly))
            partial.write(QByteArray(409600, 'v'));
    }
    tour.writeList(bob,
        entry("220261210093000123", "vacances.avi", "alice", tour.home(bob) + QStringLiteral("/vacances.avi"),
            1024000, "409600", 2021, "1")
            + entry("220261209180000456", "compte-rendu.pdf", "alice",
                tour.home(bob) + QStringLiteral("/compte-rendu.pdf"), 35210, "35210", 2020, "0"),
        2,
        entry("220261208120000789", "photos.zip", "carol", tour.home(bob) + QStringLiteral("/photos.zip"),
            2048000, "2048000", 2022, "0"),
        1);

    // Alice logs in first: carol's pending request comes with the log-in.
    if (!tour.logIn(alice))
        return 1;
    waitFor([] { return newestWindow<TfrmNewContact>({}) != nullptr; }, 3000);
    if (TfrmNewContact *request = newestWindow<TfrmNewContact>({})) {
        request->move(200, 200);
        tour.shoot(request, QStringLiteral("10-contact-request"));
        request->hide();
    } else {
        tour.fail(QStringLiteral("no request window for carol's request"));
    }

    // A contact comes online: bob logs in, alice's next poll sees him. His
    // lists load at log-in, the info bar counting the entries: taken at the
    // second of three.
    QObject::connect(&bob.controllers().transferLists(), &TransferListStore::progressPosition, bob.w, [&](int position) {
        if (position == 2)
            tour.shootNow(bob.w, QStringLiteral("16-list-loading"));
    });
    if (!tour.logIn(bob))
        return 1;
    const QList<QWidget *> before = QApplication::topLevelWidgets();
    alice.controllers().presence().TimerRefreshTimer();
    waitFor([&] { return newestWindow<TfrmMsgBox>(before) != nullptr; }, 3000);
    if (TfrmMsgBox *box = newestWindow<TfrmMsgBox>(before)) {
        box->Moteur->stop();
        tour.shoot(box, QStringLiteral("02-popup-online"));
    } else {
        tour.fail(QStringLiteral("no pop-up when bob came online"));
    }
    closePopUps();
    bob.controllers().presence().TimerRefreshTimer();
    settle();
    closePopUps();

    // The main window with the contact list and each page of the menu.
    const struct
    {
        const char *label;
        const char *name;
    } pages[] = {
        { "lblTelEnCours", "03-page-downloads" },
        { "lblEnvoisEnCours", "04-page-uploads" },
        { "lblEnvoyer", "05-page-send" },
        { "lblLecture", "06-page-media" },
        { "lblMnuContact", "07-page-contacts" },
        { "lblMnuOptions", "08-page-options" },
    };
    for (const auto &page : pages) {
        bob.w->lblEnvoyerClick(bob.control<TClickLabel>(page.label));
        tour.shoot(bob.w, QString::fromLatin1(page.name));
    }

    // The properties of bob's finished download, chosen on its page.
    bob.w->lblEnvoyerClick(bob.control<TClickLabel>("lblTelEnCours"));
    if (auto *done = bob.w->findChild<TvzkLoadPanel *>(QStringLiteral("Tel220261209180000456"))) {
        const QPointF at(2, 2);
        QMouseEvent release(QEvent::MouseButtonRelease, at, done->mapToGlobal(at), Qt::LeftButton,
            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(done, &release);
        bob.w->transferPage(TransferManager::List::Downloads).Proprits1Click();
        if (TfrmPropriete *properties = newestWindow<TfrmPropriete>({})) {
            tour.shoot(properties, QStringLiteral("17-properties"));
            properties->hide();
        } else {
            tour.fail(QStringLiteral("no properties window"));
        }
    } else {
        tour.fail(QStringLiteral("bob's finished download was not restored"));
    }

    // A member's card, opened from the contact list.
    alice.w->contactView().AffichCarte(QStringLiteral("bob"));
    TfrmCard *card = &alice.windows->card();
    waitFor([&] { return card->isVisible(); }, 3000);
    tour.shoot(card, QStringLiteral("09-card"));
    card->close();

    // The contact menu on bob, online, in alice's list.
    TContactView &contacts = alice.w->contactView();
    for (int i = 0; i < contacts.topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = contacts.topLevelItem(i);
        if (row->text(1) != QStringLiteral("bob"))
            continue;
        contacts.setCurrentItem(row);
        row->setSelected(true);
        // Away from the pointer, which would highlight the entry under it.
        contacts.popupMenu()->popup(QPoint(900, 700));
        tour.shoot(contacts.popupMenu(), QStringLiteral("19-contact-menu"));
        contacts.popupMenu()->hide();
        contacts.clearSelection();
    }
    card->hide();

    // The own avatar's window.
    TfrmChangeAvatar *avatar = &alice.windows->changeAvatar();
    avatar->show();
    tour.shoot(avatar, QStringLiteral("11-change-avatar"));
    avatar->hide();

    // An offer: alice waits with "Annuler" in the info bar, bob is asked.
    const QString offered = tour.home(alice) + QStringLiteral("/rapport annuel.pdf");
    {
        QFile f(offered);
        if (f.open(QIODevice::WriteOnly))
            f.write(QByteArray(2000000, 'r'));
    }
    alice.w->lblEnvoyerClick(alice.control<TClickLabel>("lblEnvoyer"));
    alice.control<QLineEdit>("FileNameSend")->setText(offered);
    alice.control<QLineEdit>("txtDesti")->setText(QStringLiteral("bob"));
    const QList<QWidget *> beforeOffer = QApplication::topLevelWidgets();
    alice.control<TRbButton>("btnShowTel")->Click();
    if (!waitFor([&] { return bob.reception->isVisible(); }))
        tour.fail(QStringLiteral("the offer never reached bob"));
    bob.reception->showNormal();
    bob.reception->move(300, 200);
    tour.shoot(alice.w, QStringLiteral("12-offer-waiting"));
    tour.shoot(bob.reception, QStringLiteral("13-confirmation"));
    if (TfrmMsgBox *box = newestWindow<TfrmMsgBox>(beforeOffer)) {
        box->Moteur->stop();
        tour.shoot(box, QStringLiteral("14-popup-offer"));
    }
    closePopUps();

    // Bob accepts: the transfer is shown at the first block past 40 %. The
    // picture is taken inside the handler of that block, so it is the same
    // byte on every run; the panel's coalesced progress is brought up to
    // that byte first, and the info bar's passing message is put away.
    constexpr qint64 kShownAt = 800000;
    bob.dialogs.fileNames.enqueue(tour.home(bob) + QStringLiteral("/rapport annuel.pdf"));
    bob.w->lblEnvoyerClick(bob.control<TClickLabel>("lblTelEnCours"));
    TransferManager &bobTransfers = bob.controllers().transfers();
    const QList<TransferJob *> downloadsBefore = bobTransfers.downloads();
    // The speed shown is measured on a clock that follows the bytes
    // (350 Ko/s), so that it is the same on every run; it is set as the
    // download is made, before its connection can come.
    const auto clocked = QObject::connect(&bobTransfers, &TransferManager::jobAdded, bob.w, [](TransferJob *job) {
        job->setClock([job] { return job->FichierTel() * 1000 / (350 * 1024); });
    });
    // Block by block and answered one at a time: the first count past the
    // mark is then the same on every run, where the larger blocks would
    // cross it wherever the writes happen to be.
    TransferJob::setFastModeByDefault(false);
    bob.reception->btnAccepterClick();
    bool shown = false;
    TvzkLoadPanel *live = nullptr;
    if (waitFor([&] { return bobTransfers.downloads().size() > downloadsBefore.size(); })) {
        for (TransferJob *job : bobTransfers.downloads())
            if (!downloadsBefore.contains(job))
                live = bob.w->transferPage(TransferManager::List::Downloads).panelOf(job);
    }
    if (live) {
        QObject::connect(live->job(), &TransferJob::progressChanged, live, [&](qint64 position) {
            if (shown || position < kShownAt)
                return;
            shown = true;
            live->setProgressPosition(quint32(position));
            bob.w->AffichInfo(QString(), false, 0);
            // The status bar's total is drawn every second: brought up to
            // this byte too.
            const TransferManager::Rates rates = bobTransfers.TotalRates();
            bob.control<TStatusBar>("StatusBar")->setPanelText(0, TransferRate::totalsText(rates.download, rates.upload));
            tour.shootNow(bob.w, QStringLiteral("18-transfer-in-progress"));
        });
        waitFor([&] { return live->CaptionLabelInfo() == QStringLiteral("Terminé"); }, 60000);
    }
    QObject::disconnect(clocked);
    TransferJob::setFastModeByDefault(true);
    if (!shown)
        tour.fail(QStringLiteral("the transfer was not seen part-way: ")
            + (live ? live->CaptionLabelInfo() + QLatin1Char(' ') + QString::number(live->ProgressPosition())
                    : QStringLiteral("no panel"))
            + QStringLiteral("\nalice: ") + alice.control<QPlainTextEdit>("reWatch")->toPlainText()
            + QStringLiteral("\nbob: ") + bob.control<QPlainTextEdit>("reWatch")->toPlainText()
            + QStringLiteral("\ninfo: ") + alice.control<QLabel>("lblInfo")->text());
    settle();
    closePopUps();

    TfrmAbout about;
    about.show();
    tour.shoot(&about, QStringLiteral("15-about"));
    about.hide();

    alice.w->lblDeconnectClick();
    bob.w->lblDeconnectClick();
    settle();
    return tour.failed() ? 1 : 0;
}
