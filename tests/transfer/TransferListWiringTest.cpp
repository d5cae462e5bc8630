// The transfer lists as the main window runs them: the list file after
// log-in and at log-out and exit, and what the member does with the stacks.
#include "components/ui/TRbProgressBar.h"
#include "components/ui/TRbButton.h"
#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "service/ServiceSession.h"
#include "transfer/TransferListRules.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferListStore.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TfrmPropriete.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "support/FakeService.h"
#include "support/FileSizeLimit.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

class TransferListWiring : public MainWindowFixture
{
protected:
    TransferListWiring()
    {
        RecordedErrors::install();
        RecordedErrors::take();
        environment.serviceUrl = service.baseUrl();
        w = &createWindow();
        EXPECT_TRUE(w->logInSession(service, QStringLiteral("alice"), 7));
        w->TimerRefresh->stop();
    }

    // An upload to an offline member: a panel with no socket at work.
    QString upload(const QString &file, const QString &status = QString())
    {
        const TransferRecord r = makeRecord(w->transfers().NewTransferId(), QStringLiteral("bob"), QString(),
            QStringLiteral("100"), 0, home.filePath(file), 2010, status);
        EXPECT_TRUE(w->transfers().NewUpload(r));
        return QStringLiteral("Tel") + r.IDTel;
    }
    // A download; an unfinished one listens on a free port.
    QString download(const QString &file, const QString &status = QString(), qint64 count = 0)
    {
        const TransferRecord r = makeRecord(w->transfers().NewTransferId(), QStringLiteral("bob"), file,
            QStringLiteral("100"), count, home.filePath(QStringLiteral("recu/") + file), 0, status);
        EXPECT_TRUE(w->transfers().NewDownload(r));
        return QStringLiteral("Tel") + r.IDTel;
    }
    TvzkLoadPanel *panel(const QString &name) const { return w->panel(name); }
    TransferJob *job(const QString &name) const { return w->transfers().job(name.mid(3)); }
    // A command of a page's context menu, by its name.
    static QAction *command(TTransferPage &page, const char *name)
    {
        return page.popupMenu()->findChild<QAction *>(QLatin1String(name));
    }
    // A left click that selects the panel of name (not selected before).
    void select(const QString &name)
    {
        release(panel(name), Qt::LeftButton);
        ASSERT_EQ(panel(name)->property("Tag").toInt(), 1);
    }

    // A point of the panel's background that nothing lies on.
    static QPoint bare(TvzkLoadPanel *p)
    {
        for (int y = 0; y < p->height(); ++y)
            for (int x = 0; x < p->width(); ++x)
                if (p->childAt(QPoint(x, y)) == p->PictureFond())
                    return { x, y };
        ADD_FAILURE() << "no bare background";
        return {};
    }
    static void release(TvzkLoadPanel *p, Qt::MouseButton button, QPoint at = QPoint(-1, -1))
    {
        QTest::mouseRelease(p, button, {}, at == QPoint(-1, -1) ? bare(p) : at);
    }

    FakeService service;
    TestClient *w = nullptr;
};

TEST_F(TransferListWiring, SaveAtExitAndLoadAfterLogInRebuildBothListsInOrder)
{
    const QString d1 = download(QStringLiteral("gone.bin"));
    const QString d2 = download(QStringLiteral("half.bin"), QString(), 40);
    const QString d3 = download(QStringLiteral("fini.mp3"), QStringLiteral("0"), 100);
    const QString u1 = upload(QStringLiteral("été €.txt"));
    const QStringList downs = w->downloadNames();
    ASSERT_EQ(downs, (QStringList { d1, d2, d3 }));
    w->PageControl->setCurrentIndex(1);
    release(panel(d1), Qt::LeftButton); // highlighted when the session ends
    ASSERT_EQ(w->downloadsPage->selection(), d1);
    ASSERT_TRUE(w->window->FormCloseQuery());
    EXPECT_TRUE(QFile::exists(home.filePath(QStringLiteral("alice.xml"))));
    w->transfers().ClearTransfers();

    // The partial files say how far each download got; each download has
    // its own, named after its transfer id.
    QFile partial(w->settings().tempFolder() + u'/' + TransferJob::partialFileName(d2.mid(3), QStringLiteral("half.bin")));
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.write(QByteArray(60, 'x'));
    partial.close();

    struct Seen
    {
        QString info;
        bool infoShown, barShown;
        int maximum, value;
    };
    QList<Seen> seen;
    QObject::connect(&w->transferLists(), &TransferListStore::progressPosition, w->window, [&] {
        seen.append({ w->lblInfo->text(), !w->pnInfo->isHidden(), !w->pBarLoading->isHidden(),
            w->pBarLoading->Max(), w->pBarLoading->Position() });
    });
    w->window->OpenLoad();

    EXPECT_EQ(w->downloadNames(), downs);
    EXPECT_EQ(w->uploadNames(), QStringList { u1 });
    EXPECT_EQ(panel(d1)->FichierTel(), 0);
    EXPECT_EQ(panel(d2)->FichierTel(), 60);
    // A restored panel shows what it holds, and that it waits for its sender.
    EXPECT_EQ(panel(d2)->CaptionLabelProgress(), QStringLiteral("60 octets sur 100 octets - en attente de bob"));
    EXPECT_EQ(panel(d2)->CaptionLabelInfo(), QStringLiteral("Source non trouvée"));
    EXPECT_EQ(panel(d3)->CaptionLabelProgress(), QStringLiteral("100 octets sur 100 octets"));
    EXPECT_EQ(panel(d3)->CaptionLabelInfo(), QStringLiteral("Terminé"));
    EXPECT_EQ(panel(u1)->FichierName(), QStringLiteral("été €.txt"));
    EXPECT_TRUE(panel(d2)->job()->isServerActive());
    ASSERT_EQ(seen.size(), 4);
    for (const Seen &s : seen) {
        EXPECT_EQ(s.info, TransferListStore::LoadingText);
        EXPECT_TRUE(s.infoShown);
        EXPECT_TRUE(s.barShown);
        EXPECT_EQ(s.maximum, 4);
    }
    EXPECT_EQ(seen.last().value, 4);
    EXPECT_TRUE(w->pnInfo->isHidden());
    EXPECT_TRUE(w->pBarLoading->isHidden());
    EXPECT_TRUE(RecordedErrors::take().isEmpty());

    // The re-created panel starts plain: a click highlights it.
    EXPECT_EQ(w->downloadsPage->selection(), QString());
    release(panel(d1), Qt::LeftButton);
    EXPECT_EQ(panel(d1)->property("Tag").toInt(), 1);
    EXPECT_EQ(w->downloadsPage->selection(), d1);
}

TEST_F(TransferListWiring, MoreEntriesThanAnnouncedRaiseTheProgressMaximum)
{
    QByteArray entry = "<Fichier><IDTel>7%1</IDTel><FichierName>f%1.bin</FichierName><FichierProprio>bob"
                       "</FichierProprio><FichierPath>/x/f%1.bin</FichierPath><FichierPoids>10</FichierPoids>"
                       "<FichierTel>10</FichierTel><Port>2010</Port><Status>0</Status></Fichier>";
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Voxlane><Info><NbUpLoad>0</NbUpLoad>"
                     "<NbDownLoad>1</NbDownLoad></Info><Download>";
    for (const char *stamp : { "20261225143005121", "20261225143005122", "20261225143005123" })
        xml += QString::fromLatin1(entry).arg(QLatin1String(stamp)).toLatin1();
    xml += "</Download></Voxlane>";
    QFile file(home.filePath(QStringLiteral("alice.xml")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(xml);
    file.close();

    QList<std::pair<int, int>> bar;
    QObject::connect(&w->transferLists(), &TransferListStore::progressPosition, w->window,
        [&] { bar.append({ w->pBarLoading->Position(), w->pBarLoading->Max() }); });
    w->window->OpenLoad();
    EXPECT_EQ(w->downloadNames().size(), 3);
    EXPECT_EQ(bar, (QList<std::pair<int, int>> { { 1, 1 }, { 2, 2 }, { 3, 3 } }));
}

// The exit or log-out given up leaves the client as it was: still logged
// in, taking offers on its control port, its transfers going on.
TEST_F(TransferListWiring, AListThatCannotBeWrittenStopsTheLogOutAndTheExit)
{
    upload(QStringLiteral("a.txt"));
    const QString down = download(QStringLiteral("b.bin"));
    ASSERT_TRUE(w->control().ServerTransac()->isListening());
    ASSERT_TRUE(panel(down)->job()->isServerActive());
    // A folder where the file should go: no file can replace it.
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("alice.xml")));
    EXPECT_FALSE(w->window->FormCloseQuery());
    EXPECT_EQ(RecordedErrors::take().size(), 1);
    EXPECT_TRUE(w->control().ServerTransac()->isListening());
    EXPECT_TRUE(panel(down)->job()->isServerActive());

    dialogs.answers.enqueue(true); // "Yes" to the log-out question
    w->window->lblDeconnectClick();
    EXPECT_EQ(RecordedErrors::take().size(), 1);
    EXPECT_TRUE(w->session().isConnected()); // no log-out request went out
    EXPECT_EQ(w->uploadNames().size(), 1);
    EXPECT_TRUE(panel(down)->job()->isServerActive());
}

// A disk that fills up at log-out: the member's previous list stays whole
// and the member stays logged in, with the transfers as they were.
TEST_F(TransferListWiring, AFullDiskAtLogOutKeepsThePreviousListAndTheSession)
{
    upload(QStringLiteral("a.txt"));
    ASSERT_TRUE(w->window->SaveLoad());
    const QString file = home.filePath(QStringLiteral("alice.xml"));
    QFile before(file);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray saved = before.readAll();
    before.close();
    for (int i = 0; i < 5; ++i)
        download(QStringLiteral("d%1.bin").arg(i));
    {
        const FileSizeLimit limit(64);
        dialogs.answers.enqueue(true);
        w->window->lblDeconnectClick();
        EXPECT_FALSE(w->window->FormCloseQuery());
    }
    EXPECT_EQ(RecordedErrors::take().size(), 2);
    EXPECT_TRUE(w->session().isConnected());
    EXPECT_EQ(w->downloadNames().size(), 5);
    for (const QString &name : w->downloadNames())
        EXPECT_TRUE(panel(name)->job()->isServerActive());
    EXPECT_TRUE(w->control().ServerTransac()->isListening());
    QFile after(file);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), saved);
}

// A log-out or an exit while a new panel waits for its peer's avatar
// (events run meanwhile): the new transfer is in the list that is saved,
// and is not carried into the next member's lists.
TEST_F(TransferListWiring, ALogOutWhileANewPanelWaitsForItsAvatarSavesItAndTakesItAway)
{
    bool leftMeanwhile = false;
    // The panel fetches its peer's avatar once the job has started: events
    // run meanwhile, and the log-out may come then.
    QObject::connect(&w->transfers(), &TransferManager::jobStarted, w->window, [&] {
        if (leftMeanwhile)
            return;
        leftMeanwhile = true;
        EXPECT_TRUE(w->window->SaveLoad());
        w->transfers().ClearTransfers();
    });
    const QString name = download(QStringLiteral("pendant.bin"));
    ASSERT_TRUE(leftMeanwhile);
    EXPECT_TRUE(w->downloadNames().isEmpty());
    EXPECT_EQ(panel(name), nullptr);
    QFile saved(home.filePath(QStringLiteral("alice.xml")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("pendant.bin"));
}

// "Nettoyer" follows the lists at once, whichever page is on show.
TEST_F(TransferListWiring, NettoyerFollowsTheListsAtOnce)
{
    w->PageControl->setCurrentIndex(0);
    EXPECT_FALSE(w->btnNettoyer->isEnabled());
    EXPECT_FALSE(w->btnNettoyer2->isEnabled());
    const QString done = download(QStringLiteral("fini.bin"), QStringLiteral("0"), 100);
    EXPECT_TRUE(w->btnNettoyer->isEnabled());
    EXPECT_EQ(panel(done)->CaptionLabelProgress(), QStringLiteral("100 octets sur 100 octets"));
    upload(QStringLiteral("a.txt"));
    EXPECT_TRUE(w->btnNettoyer2->isEnabled());
    w->transfers().KillTel(job(done));
    EXPECT_FALSE(w->btnNettoyer->isEnabled());
}

TEST_F(TransferListWiring, ClicksHighlightSelectAndOpenTheMenuOnce)
{
    w->PageControl->setCurrentIndex(2);
    const QString a = upload(QStringLiteral("a.txt")), b = upload(QStringLiteral("b.txt"));
    int opened = 0;
    QMenu *menu = w->uploadsPage->popupMenu();
    QObject::connect(menu, &QMenu::aboutToShow, w->window, [&] { ++opened; });

    release(panel(a), Qt::LeftButton);
    EXPECT_EQ(panel(a)->property("Tag").toInt(), 1);
    EXPECT_EQ(w->uploadsPage->selection(), a);
    const QImage highlighted = panel(a)->PictureFond()->pixmap().toImage();
    EXPECT_EQ(highlighted.pixelColor(0, 0), QColor(202, 190, 126));

    release(panel(b), Qt::LeftButton);
    EXPECT_EQ(panel(a)->property("Tag").toInt(), 0);
    EXPECT_EQ(panel(a)->PictureFond()->pixmap().toImage().pixelColor(0, 0), QColor(247, 238, 184));
    EXPECT_EQ(w->uploadsPage->selection(), b);

    release(panel(b), Qt::LeftButton); // again: off, and no selection
    EXPECT_EQ(panel(b)->property("Tag").toInt(), 0);
    EXPECT_EQ(w->uploadsPage->selection(), QString());

    // A release over a label lying on the background does nothing.
    release(panel(a), Qt::LeftButton, panel(a)->LabelInfo()->geometry().center());
    EXPECT_EQ(w->uploadsPage->selection(), QString());
    EXPECT_EQ(opened, 0);

    // Right: highlight and one menu; the panel's own context menu stays shut.
    release(panel(a), Qt::RightButton);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(w->uploadsPage->selection(), a);
    menu->close();
    QContextMenuEvent context(QContextMenuEvent::Mouse, bare(panel(a)), panel(a)->mapToGlobal(bare(panel(a))));
    QCoreApplication::sendEvent(panel(a), &context);
    release(panel(a), Qt::RightButton); // stays highlighted
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(panel(a)->property("Tag").toInt(), 1);
    menu->close();
}

TEST_F(TransferListWiring, TheMenuFollowsThePanelAndItsCommandsActOnIt)
{
    w->PageControl->setCurrentIndex(1);
    const QString running = download(QStringLiteral("clip.mp3"));
    const QString upper = download(QStringLiteral("clip.MP3"), QStringLiteral("0"));
    TTransferPage &ops = *w->downloadsPage;
    QAction *play = command(ops, "Lecture1");
    QAction *pause = command(ops, "Pause1");
    ASSERT_EQ(pause, ops.pauseAction());

    select(running);
    ops.PopupMenu1Popup();
    EXPECT_TRUE(play->isEnabled());
    EXPECT_TRUE(pause->isEnabled());
    EXPECT_EQ(pause->text(), QStringLiteral("Pau&se"));
    ops.Pause1Click();
    EXPECT_FALSE(job(running)->isServerActive());
    EXPECT_EQ(panel(running)->CaptionLabelProgress(), QStringLiteral("Pause"));
    ops.PopupMenu1Popup();
    EXPECT_EQ(pause->text(), QStringLiteral("Reprendre"));
    ops.Pause1Click();
    EXPECT_TRUE(job(running)->isServerActive());

    // The file is not there yet: "Ouvrir" has nothing to open; the folder
    // opens.
    ops.Ouvrir1Click();
    ops.Ouvrirledossiercontenant1Click();
    EXPECT_EQ(dialogs.openedUrls,
        (QStringList { QUrl::fromLocalFile(home.filePath(QStringLiteral("recu/"))).toString() }));
    // Once it is there, it opens; when nothing can open it, the user is told.
    QDir().mkpath(home.filePath(QStringLiteral("recu")));
    QFile arrived(home.filePath(QStringLiteral("recu/clip.mp3")));
    ASSERT_TRUE(arrived.open(QIODevice::WriteOnly));
    arrived.close();
    ops.Ouvrir1Click();
    EXPECT_EQ(dialogs.openedUrls.last(), QUrl::fromLocalFile(arrived.fileName()).toString());
    dialogs.openSucceeds = false;
    ops.Ouvrir1Click();
    EXPECT_EQ(w->lblInfo->text(), QStringLiteral("Aucun programme n'a pu ouvrir :\n\r") + arrived.fileName());
    dialogs.openSucceeds = true;

    select(upper);
    ops.PopupMenu1Popup();
    EXPECT_FALSE(play->isEnabled());
    EXPECT_FALSE(pause->isEnabled());

    ops.Proprits1Click();
    EXPECT_TRUE(w->properties->isVisible());
    EXPECT_EQ(w->properties->txtFileName->text(), QStringLiteral("clip.MP3"));
    EXPECT_EQ(w->properties->lblEmplacement->text(), home.filePath(QStringLiteral("recu/")));
    EXPECT_EQ(w->properties->lblVitesse->text(), QString::fromUtf8("—")); // not running
    w->properties->close();

    // On another page the commands leave everything alone.
    w->PageControl->setCurrentIndex(2);
    ops.Annuler1Click();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(w->downloadNames().size(), 2);
}

TEST_F(TransferListWiring, ARemovedPanelIsLeftAloneByEveryCommand)
{
    w->PageControl->setCurrentIndex(2);
    const QString a = upload(QStringLiteral("a.txt"));
    select(a);
    TTransferPage &ops = *w->uploadsPage;
    w->transfers().KillTel(job(a));
    EXPECT_EQ(ops.selection(), a); // the selection text stays
    EXPECT_EQ(ops.selectedJob(), nullptr);
    ops.PopupMenu1Popup();
    EXPECT_FALSE(command(ops, "Pause1")->isEnabled());
    EXPECT_FALSE(command(ops, "Annuler1")->isEnabled());
    ops.Pause1Click();
    ops.Annuler1Click();
    ops.Proprits1Click();
    ops.Ouvrir1Click();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_TRUE(dialogs.openedUrls.isEmpty());
    EXPECT_FALSE(w->properties->isVisible());
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST_F(TransferListWiring, CancelAsksThenClosesTheStackUpAndTheSavedListFollows)
{
    w->PageControl->setCurrentIndex(2);
    const QString a = upload(QStringLiteral("a.txt")), b = upload(QStringLiteral("b.txt")),
                  c = upload(QStringLiteral("c.txt"));
    TTransferPage &ops = *w->uploadsPage;
    select(b);
    EXPECT_EQ(panel(c)->y() - w->SBUp->verticalScrollBar()->value(), 156);

    dialogs.answers.enqueue(false);
    ops.Annuler1Click();
    EXPECT_EQ(w->uploadNames().size(), 3);

    ops.Annuler1Click(); // "Yes"
    EXPECT_EQ(dialogs.questions,
        QStringList(2, QStringLiteral("Êtes-vous sûr de vouloir annuler ce téléchargement ?\n\rIl sera supprimé de la liste.")));
    EXPECT_EQ(w->uploadNames(), (QStringList { a, c }));
    EXPECT_EQ(panel(b), nullptr);
    EXPECT_EQ(w->transfers().job(b.mid(3)), nullptr);
    EXPECT_EQ(panel(c)->y(), 78);
    EXPECT_EQ(panel(a)->y(), 0);

    w->transferLists().SaveLoad(w->session().currentPseudo());
    QFile saved(home.filePath(QStringLiteral("alice.xml")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().count("<Fichier>"), 2);
}

TEST_F(TransferListWiring, NettoyerRemovesOnlyFinishedTransfers)
{
    TTransferPage &ops = *w->uploadsPage;
    w->PageControl->setCurrentIndex(2);
    EXPECT_FALSE(w->btnNettoyer2->isEnabled());
    ops.btnNettoyerClick(); // empty: nothing
    const QString a = upload(QStringLiteral("a.txt"), QStringLiteral("0")), b = upload(QStringLiteral("b.txt")),
                  c = upload(QStringLiteral("c.txt"), QStringLiteral("0"));
    w->PageControl->setCurrentIndex(0);
    w->PageControl->setCurrentIndex(2); // TabSheet3Show
    EXPECT_TRUE(w->btnNettoyer2->isEnabled());
    w->btnNettoyer2->Click();
    EXPECT_EQ(w->uploadNames(), QStringList { b });
    EXPECT_EQ(panel(b)->y(), 0);
    EXPECT_EQ(panel(a), nullptr);
    EXPECT_EQ(panel(c), nullptr);
    EXPECT_EQ(w->transfers().uploads().size(), 1);
    EXPECT_TRUE(w->btnNettoyer2->isEnabled());
    w->btnNettoyer2->Click(); // every one unfinished: nothing goes
    EXPECT_EQ(w->uploadNames(), QStringList { b });
    EXPECT_TRUE(w->btnNettoyer2->isEnabled());

    w->PageControl->setCurrentIndex(1); // TabSheet2Show: no downloads
    EXPECT_FALSE(w->btnNettoyer->isEnabled());
}

TEST_F(TransferListWiring, TheWheelMovesAStackByAFifthOfItsDelta)
{
    w->window->show();
    w->PageControl->setCurrentIndex(2);
    for (int i = 0; i < 20; ++i)
        upload(QStringLiteral("f%1.txt").arg(i));
    QScrollBar *bar = w->SBUp->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 100);
    bar->setValue(100);
    struct Case
    {
        int delta, expected;
    };
    for (const Case &c : { Case { 120, 76 }, Case { -120, 100 }, Case { -240, 148 }, Case { 7, 147 } }) {
        const QPoint at = w->SBUp->viewport()->rect().center();
        QWheelEvent wheel(at, w->SBUp->viewport()->mapToGlobal(at), QPoint(), QPoint(0, c.delta), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w->SBUp->viewport(), &wheel);
        EXPECT_EQ(bar->value(), c.expected) << c.delta;
    }
}

// A closing window destroys its children one by one: the downloads' box may
// be gone while the uploads' box still gets events.
TEST_F(TransferListWiring, TheUploadsBoxStillAnswersOnceTheDownloadsBoxIsGone)
{
    w->window->show();
    w->PageControl->setCurrentIndex(2);
    for (int i = 0; i < 20; ++i)
        upload(QStringLiteral("f%1.txt").arg(i));
    QScrollBar *bar = w->SBUp->verticalScrollBar();
    bar->setValue(100);
    delete w->SBDown;
    const QPoint at = w->SBUp->viewport()->rect().center();
    QWheelEvent wheel(at, w->SBUp->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w->SBUp->viewport(), &wheel);
    EXPECT_EQ(bar->value(), 76);
    delete w->SBUp; // its own children's last events pass the filter too
}

} // namespace
