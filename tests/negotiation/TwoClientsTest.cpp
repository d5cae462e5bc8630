// Two whole clients in one process, each on a loopback address of its own,
// both seeing each other online through the fake community service: an
// offer, its answer and the file's trip from one to the other.
#include "components/ui/TRbButton.h"
#include "base/SettingsStore.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmMsgBox.h"
#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/ServiceSession.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "MemberProgram.h"

#include "support/EventWait.h"
#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "support/ScriptedDialogs.h"
#include "support/Timing.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kWaitMs = 10000 * kTimeScale;

struct Client : MemberProgram
{
    // What the info bar showed, in order.
    QStringList infos;

    QStringList logLines() const { return log().split(u'\n'); }
    TvzkLoadPanel *panel(TransferManager::List list) const { return first(list); }
};

QList<TfrmMsgBox *> popups()
{
    QList<TfrmMsgBox *> boxes;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<TfrmMsgBox *>(top))
            boxes.append(box);
    }
    for (QWidget *top : QApplication::allWidgets()) {
        if (auto *box = qobject_cast<TfrmMsgBox *>(top); box && !boxes.contains(box))
            boxes.append(box);
    }
    return boxes;
}

QStringList popupTexts()
{
    QStringList texts;
    for (TfrmMsgBox *box : popups())
        texts << box->lblTexteCentral->text();
    return texts;
}

class TwoClients : public testing::Test
{
protected:
    TwoClients()
    {
        RecordedErrors::install();
        RecordedErrors::take();
        qDeleteAll(popups());
        setUp(alice, QStringLiteral("alice"), MainWindowFixture::uniqueLoopbackAddress(0));
        setUp(bob, QStringLiteral("bob"), MainWindowFixture::uniqueLoopbackAddress(1));
        // Both see both online, each address encrypted for its owner.
        service.script("/voxlane/getconnected.php", FakeService::Reply::text(presenceReply({ &alice, &bob })));
        for (Client *c : { &alice, &bob }) {
            EXPECT_TRUE(c->w->presence().PollOnline());
        }
    }

    ~TwoClients() override
    {
        qDeleteAll(popups());
        for (Client *c : { &alice, &bob })
            c->end();
    }

    void setUp(Client &c, const QString &pseudo, const QString &ip)
    {
        c.pseudo = pseudo;
        c.ip = ip;
        c.start(service.baseUrl());
        ASSERT_TRUE(c.w->control().ServerTransac()->isListening())
            << c.w->control().ServerTransac()->errorString().toStdString();
        ASSERT_TRUE(c.w->logInSession(service, pseudo, pseudo == QStringLiteral("alice") ? 11 : 22));
        c.w->TimerRefresh->stop(); // the test polls itself
        QObject::connect(
            &c.w->control(), &ControlChannel::Info, c.w->window, [&c](const QString &text, bool show, int) {
                if (show)
                    c.infos << text;
            });
    }

    QString makeFile(const QString &name, int size)
    {
        const QString path = alice.home.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char(QRandomGenerator::global()->bounded(256));
        f.write(bytes);
        return path;
    }

    // Alice offers path to bob through the send page.
    void offer(const QString &path, const QString &to = QStringLiteral("bob"))
    {
        alice.w->FileNameSend->setText(path);
        alice.w->txtDesti->setText(to);
        alice.w->sendPage->btnShowTelClick();
    }

    bool waitForOffer()
    {
        return waitUntil([&] { return bob.w->reception->isVisible(); }, kWaitMs);
    }

    static QByteArray contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    FakeService service;
    Client alice;
    Client bob;
};

TEST_F(TwoClients, AnAcceptedOfferArrivesWholeAtTheChosenPath)
{
    const QString source = makeFile(QStringLiteral("photo vacances.bin"), 5133);
    QDir(bob.home.path()).mkpath(QStringLiteral("recu"));
    const QString target = bob.home.filePath(QStringLiteral("recu/copie.bin"));
    bob.dialogs.fileNames.enqueue(target);

    offer(source);
    EXPECT_FALSE(alice.w->txtDesti->isEnabled());
    EXPECT_FALSE(alice.w->btnCancelTrans->isHidden());
    ASSERT_TRUE(waitForOffer());

    // The confirmation window and the "file offered" pop-up.
    EXPECT_EQ(bob.w->reception->lblFichier->text(), QStringLiteral("photo vacances.bin"));
    EXPECT_EQ(bob.w->reception->lblDe->text(), QStringLiteral("alice"));
    EXPECT_EQ(bob.w->reception->lblTaille->text(), QStringLiteral("5 Ko"));
    EXPECT_TRUE(bob.w->reception->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(bob.w->reception->parentWidget(), nullptr);
    EXPECT_TRUE(popupTexts().contains(QStringLiteral("alice\n\rvous envoi : \n\rphoto vacances.bin")));
    ASSERT_EQ(bob.w->control().openOffers().size(), 1);
    EXPECT_EQ(bob.w->control().openOffers().at(0).address, alice.ip);
    EXPECT_TRUE(alice.infos.contains(QStringLiteral("Attente d'une réponse")));

    bob.w->reception->btnAccepterClick();
    EXPECT_FALSE(bob.w->reception->isVisible());

    ASSERT_TRUE(waitUntil(
        [&] {
            TvzkLoadPanel *down = bob.panel(TransferManager::List::Downloads);
            TvzkLoadPanel *up = alice.panel(TransferManager::List::Uploads);
            return down && up && down->CaptionLabelInfo() == QStringLiteral("Terminé")
                && up->CaptionLabelInfo() == QStringLiteral("Terminé") && QFile::exists(target);
        },
        kWaitMs))
        << alice.log().toStdString() << "\n---\n"
        << bob.log().toStdString();

    EXPECT_EQ(contents(target), contents(source));
    TvzkLoadPanel *down = bob.panel(TransferManager::List::Downloads);
    TvzkLoadPanel *up = alice.panel(TransferManager::List::Uploads);
    EXPECT_EQ(down->Status(), QStringLiteral("0"));
    EXPECT_EQ(up->Status(), QStringLiteral("0"));
    EXPECT_EQ(down->Port(), 2010);
    EXPECT_EQ(down->FichierPath(), target);
    EXPECT_EQ(down->FichierProprio(), QStringLiteral("alice"));
    EXPECT_EQ(down->PeerAddress(), alice.ip);
    EXPECT_EQ(up->FichierPath(), source);
    EXPECT_EQ(up->FichierName(), QStringLiteral("photo vacances.bin"));
    EXPECT_TRUE(down->IDTel().startsWith(QStringLiteral("22")));
    EXPECT_EQ(down->objectName(), QStringLiteral("Tel") + down->IDTel());
    EXPECT_EQ(bob.w->downloadsPage->panels().last(), down);
    EXPECT_EQ(bob.w->transfers().downloads().last(), down->job());

    ASSERT_TRUE(waitUntil(
        [&] {
            const QStringList texts = popupTexts();
            return texts.contains(QStringLiteral("Telechargement\n\rterminé"))
                && texts.contains(QStringLiteral("Envoi\n\rterminé"));
        },
        kWaitMs))
        << popupTexts().join(u'|').toStdString();

    // The conversation as each log shows it.
    const QString ask
        = QStringLiteral("{ask}alice\x01photo vacances.bin\x02") + QStringLiteral("5133\x03") + alice.ip;
    const QStringList a = alice.logLines();
    EXPECT_TRUE(a.contains(QStringLiteral("Client Connecté à : ") + bob.ip)) << alice.log().toStdString();
    EXPECT_TRUE(a.contains(QStringLiteral("W:") + ask));
    EXPECT_TRUE(a.contains(QStringLiteral("W:{can}2010")));
    EXPECT_TRUE(a.contains(QStringLiteral("Port accepté : 2010")));
    const QStringList b = bob.logLines();
    EXPECT_TRUE(b.contains(QString(30, u'_')));
    EXPECT_TRUE(b.contains(QStringLiteral("Server Connecté à : ") + alice.ip)) << bob.log().toStdString();
    EXPECT_TRUE(b.contains(QStringLiteral("Appel de : alice")));
    EXPECT_TRUE(b.contains(QStringLiteral("W:{oui}")));
    EXPECT_TRUE(b.contains(QStringLiteral("Demande de port :2010")));
    EXPECT_TRUE(b.contains(QStringLiteral("W:{pok}")));
    EXPECT_FALSE(b.contains(QStringLiteral("W:{non}")));
    EXPECT_TRUE(alice.w->txtDesti->isEnabled());
    EXPECT_TRUE(alice.w->btnCancelTrans->isHidden());
    EXPECT_EQ(alice.infos.mid(0, 4), QStringList({"Appel en cours...", "Connexion en cours...",
                                                  "Attente d'une réponse", "Transfert autorisé"}));
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST_F(TwoClients, RefusingOrCancellingTheSaveAnswersNonOnce)
{
    const QString source = makeFile(QStringLiteral("a.txt"), 10);
    for (const bool viaSaveDialog : { false, true }) {
        SCOPED_TRACE(viaSaveDialog);
        alice.infos.clear();
        offer(source);
        ASSERT_TRUE(waitForOffer());
        if (viaSaveDialog)
            bob.w->reception->btnAccepterClick(); // no file name queued: the dialog is cancelled
        else
            bob.w->reception->btnRefuserClick();
        ASSERT_TRUE(waitUntil(
            [&] { return alice.infos.contains(QStringLiteral("Transfert non autorisé")); }, kWaitMs));
        EXPECT_TRUE(alice.w->txtDesti->isEnabled());
        EXPECT_TRUE(alice.w->btnCancelTrans->isHidden());
        EXPECT_FALSE(bob.w->reception->isVisible());
    }
    EXPECT_EQ(bob.logLines().count(QStringLiteral("W:{non}")), 2);
    EXPECT_FALSE(bob.log().contains(QStringLiteral("W:{oui}")));
    EXPECT_TRUE(alice.w->uploadNames().isEmpty());
    EXPECT_TRUE(bob.w->downloadNames().isEmpty());
}

TEST_F(TwoClients, WithdrawingBeforeTheAnswerClosesTheWindowWhichAnswersNon)
{
    offer(makeFile(QStringLiteral("a.txt"), 10));
    ASSERT_TRUE(waitForOffer());
    alice.w->btnCancelTrans->Click();
    EXPECT_TRUE(alice.w->btnCancelTrans->isHidden());
    EXPECT_TRUE(alice.infos.contains(QStringLiteral("Transfert annulé")));
    EXPECT_FALSE(alice.w->txtDesti->isEnabled()); // until the peer's "{non}"
    ASSERT_TRUE(waitUntil([&] { return alice.w->txtDesti->isEnabled(); }, kWaitMs));
    EXPECT_FALSE(bob.w->reception->isVisible());
    EXPECT_TRUE(bob.infos.contains(QStringLiteral("Annulé")));
    EXPECT_EQ(bob.logLines().count(QStringLiteral("W:{non}")), 1);
    // The withdrawn offer's pop-up went with it.
    EXPECT_TRUE(waitUntil(
        [&] { return !popupTexts().contains(QStringLiteral("alice\n\rvous envoi : \n\ra.txt")); }, kWaitMs));
    EXPECT_TRUE(alice.logLines().contains(QStringLiteral("W:{trc}")));
}

// The user withdrew: a yes that crossed the withdrawal sends nothing, and
// the recipient is told.
TEST_F(TwoClients, WithdrawingWhileTheYesIsOnItsWaySendsNothing)
{
    const QString source = makeFile(QStringLiteral("b.bin"), 600);
    const QString target = bob.home.filePath(QStringLiteral("b.bin"));
    bob.dialogs.fileNames.enqueue(target);
    offer(source);
    ASSERT_TRUE(waitForOffer());
    bob.w->reception->btnAccepterClick(); // "{oui}" is on its way
    alice.w->btnCancelTrans->Click(); // "{trc}" crosses it
    ASSERT_TRUE(waitUntil([&] { return alice.w->txtDesti->isEnabled() && bob.w->control().openOffers().isEmpty(); },
        kWaitMs))
        << bob.log().toStdString();
    EXPECT_TRUE(alice.infos.contains(QStringLiteral("Transfert annulé")));
    EXPECT_TRUE(bob.infos.contains(QStringLiteral("Annulé")));
    EXPECT_FALSE(alice.log().contains(QStringLiteral("W:{can}")));
    EXPECT_TRUE(alice.w->uploadNames().isEmpty());
    EXPECT_TRUE(bob.w->downloadNames().isEmpty());
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(TwoClients, AnUnreachableRecipientGivesTheSendPageBack)
{
    const QString source = makeFile(QStringLiteral("a.txt"), 10);
    struct Case
    {
        const char *recipient;
        bool listening; // bob's control port open
    };
    for (const Case &c : { Case { "bob", false }, Case { "dave", true } }) {
        const QString recipient = QString::fromLatin1(c.recipient);
        SCOPED_TRACE(recipient.toStdString());
        if (!c.listening)
            bob.w->control().ServerTransac()->close();
        alice.infos.clear();
        offer(source, recipient);
        const QString failure = QStringLiteral("Impossible de se connecter à ") + recipient;
        ASSERT_TRUE(waitUntil([&] { return alice.infos.contains(failure); }, kWaitMs))
            << alice.infos.join(u'|').toStdString();
        EXPECT_TRUE(alice.w->txtDesti->isEnabled());
        EXPECT_TRUE(alice.w->btnCancelTrans->isHidden());
        EXPECT_FALSE(alice.log().contains(QStringLiteral("W:{ask}")));
    }
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST_F(TwoClients, APortHeldOrUnusableIsFollowedByTheNextOne)
{
    const QString source = makeFile(QStringLiteral("a.txt"), 10);
    // Bob has an unfinished download on 2010 (from someone else), and
    // something else of the machine listens on 2011.
    ASSERT_TRUE(bob.w->transfers().NewDownload(makeRecord(QStringLiteral("5"), QStringLiteral("carol"),
        QStringLiteral("c.bin"), QStringLiteral("100"), 0, bob.home.filePath(QStringLiteral("c.bin")), 2010, QString())));
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress(bob.ip), 2011));
    const QString target = bob.home.filePath(QStringLiteral("x"));
    bob.dialogs.fileNames.enqueue(target);
    offer(source);
    ASSERT_TRUE(waitForOffer());
    bob.w->reception->btnAccepterClick();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(target); }, kWaitMs)) << alice.log().toStdString();
    EXPECT_EQ(contents(target), contents(source));
    const QStringList a = alice.logLines();
    EXPECT_EQ(a.count(QStringLiteral("Port refusé")), 2) << alice.log().toStdString();
    EXPECT_TRUE(a.contains(QStringLiteral("W:{can}2010")));
    EXPECT_TRUE(a.contains(QStringLiteral("W:{can}2011")));
    EXPECT_TRUE(a.contains(QStringLiteral("Port accepté : 2012")));
    EXPECT_TRUE(bob.logLines().contains(QStringLiteral("Port refusé (écoute impossible) :2011")));
    EXPECT_EQ(bob.w->downloadNames().size(), 2);
    // The machine's own error is in the general report once; nothing else.
    EXPECT_EQ(RecordedErrors::take().size(), 1);
}

TEST_F(TwoClients, ClosingTheMainWindowAnswersTheOfferOnShow)
{
    offer(makeFile(QStringLiteral("a.txt"), 10));
    ASSERT_TRUE(waitForOffer());
    bob.w->window->close();
    EXPECT_FALSE(bob.w->reception->isVisible());
    EXPECT_EQ(bob.logLines().count(QStringLiteral("W:{non}")), 1);
    ASSERT_TRUE(waitUntil(
        [&] { return alice.infos.contains(QStringLiteral("Transfert non autorisé")); }, kWaitMs));
}

} // namespace
