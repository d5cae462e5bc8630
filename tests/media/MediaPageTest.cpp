#include "base/ErrorReport.h"
#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TRbButton.h"
#include "media/ui/TMediaPage.h"
#include "media/ui/TMediaPlayer.h"
#include "support/MainWindowFixture.h"
#include "support/RecordedErrors.h"
#include "support/Timing.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QtEndian>

#include <cmath>

#include <gtest/gtest.h>

namespace {

// Generous: the platform's decoder starts at its own pace; nothing is
// asserted about how long it took.
constexpr int kPlayWaitMs = 20000 * kTimeScale;

// A mono 16-bit PCM WAV file of a 440 Hz tone.
QByteArray toneWav(int seconds, int rate = 8000)
{
    const int samples = seconds * rate;
    QByteArray data(samples * 2, '\0');
    for (int i = 0; i < samples; ++i) {
        const auto v = qint16(8000 * std::sin(2 * M_PI * 440.0 * i / rate));
        qToLittleEndian(v, data.data() + 2 * i);
    }
    QByteArray wav;
    const auto u32 = [&wav](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        wav.append(b, 4);
    };
    const auto u16 = [&wav](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        wav.append(b, 2);
    };
    wav += "RIFF";
    u32(36 + quint32(data.size()));
    wav += "WAVEfmt ";
    u32(16);
    u16(1); // PCM
    u16(1); // mono
    u32(quint32(rate));
    u32(quint32(rate * 2));
    u16(2);
    u16(16);
    wav += "data";
    u32(quint32(data.size()));
    return wav + data;
}

QByteArray id3Block(const QByteArray &title, const QByteArray &artist)
{
    QByteArray block = "TAG";
    block += title.leftJustified(30, '\0', true);
    block += artist.leftJustified(30, '\0', true);
    block += QByteArray(30 + 4 + 30, '\0');
    block += char(0);
    return block;
}

class MediaPageTest : public MainWindowFixture
{
protected:
    MediaPageTest() { RecordedErrors::take(); }

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = home.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // The tray menu as it is about to open.
    void openTrayMenu(TestClient &w) { emit w.PopupSysTray->aboutToShow(); }
};

TEST_F(MediaPageTest, AGeneratedToneReallyPlaysAndTheTrayItemPausesAndResumesIt)
{
    TestClient &w = createWindow();
    TMediaPlayer *player = w.WMPlayer;
    ASSERT_NE(player, nullptr);

    // Nothing loaded: the item says so and cannot be chosen.
    openTrayMenu(w);
    EXPECT_EQ(w.Lecture2->text(), QStringLiteral("Pas de lecture"));
    EXPECT_FALSE(w.Lecture2->isEnabled());

    const QString wav = write(QStringLiteral("tone.wav"), toneWav(30));
    w.window->PlayMediaFile(wav);
    EXPECT_EQ(w.PageControl->currentWidget(), w.mediaPage);
    EXPECT_EQ(w.window->highlightedMenuLabel(), w.lblLecture);
    EXPECT_EQ(w.lblTitre->text(), QStringLiteral("tone"));
    EXPECT_EQ(w.lblArtiste->text(), QStringLiteral("Inconnu"));

    ASSERT_TRUE(QTest::qWaitFor([&] { return player->position() > 0; }, kPlayWaitMs))
        << player->errorText().toStdString();
    const qint64 first = player->position();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->position() > first; }, kPlayWaitMs));
    EXPECT_EQ(player->playState(), 3);

    openTrayMenu(w);
    EXPECT_EQ(w.Lecture2->text(), QStringLiteral("Player : Pause"));
    EXPECT_TRUE(w.Lecture2->isEnabled());
    EXPECT_EQ(w.Lecture2->data().toInt(), 3);
    EXPECT_EQ(w.Lecture2->icon().cacheKey(), w.window->trayMenuImages().at(9).cacheKey());
    w.Lecture2->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->playState() == 2; }, kPlayWaitMs));

    openTrayMenu(w);
    EXPECT_EQ(w.Lecture2->text(), QStringLiteral("Player : Lecture"));
    EXPECT_EQ(w.Lecture2->data().toInt(), 2);
    EXPECT_EQ(w.Lecture2->icon().cacheKey(), w.window->trayMenuImages().at(8).cacheKey());
    const qint64 paused = player->position();
    w.Lecture2->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->playState() == 3; }, kPlayWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->position() > paused; }, kPlayWaitMs));
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST_F(MediaPageTest, AFileThePlatformCannotPlayIsReportedAndLeavesNothingToPause)
{
    TestClient &w = createWindow();
    TMediaPlayer *player = w.WMPlayer;
    QSignalSpy errors(player, &TMediaPlayer::mediaError);
    QByteArray junk(20000, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 7919) % 251);
    const QString path = write(QStringLiteral("broken.avi"), junk);
    w.window->PlayMediaFile(path);
    EXPECT_EQ(w.lblTitre->text(), QStringLiteral("broken"));
    ASSERT_TRUE(errors.count() > 0 || errors.wait(kPlayWaitMs));
    EXPECT_TRUE(player->errorText().contains(QStringLiteral("broken.avi")));
    EXPECT_EQ(player->playState(), 0);
    openTrayMenu(w);
    EXPECT_EQ(w.Lecture2->text(), QStringLiteral("Pas de lecture"));
    EXPECT_FALSE(w.Lecture2->isEnabled());

    // A path that does not exist is reported at once.
    QSignalSpy again(player, &TMediaPlayer::mediaError);
    player->setURL(home.filePath(QStringLiteral("gone.mp3")));
    EXPECT_EQ(again.count(), 1);
}

TEST_F(MediaPageTest, TaggedFilesShowTheirTitleAndArtistAndShortOnesReachTheErrorReport)
{
    TestClient &w = createWindow();
    w.window->PlayMediaFile(write(QStringLiteral("song.mp3"), QByteArray(3000, '\x55') + id3Block("Riff", "Band")));
    EXPECT_EQ(w.lblTitre->text(), QStringLiteral("Riff"));
    EXPECT_EQ(w.lblArtiste->text(), QStringLiteral("Band"));

    // Under 128 bytes: an input/output error (Lecture1Click hands it to the
    // error report, below); the labels and the page on show stay.
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    const QString tiny = write(QStringLiteral("tiny.mp3"), QByteArray(100, 'x'));
    EXPECT_THROW(w.window->PlayMediaFile(tiny), VoxlaneError);
    EXPECT_EQ(w.WMPlayer->URL(), tiny);
    EXPECT_EQ(w.lblTitre->text(), QStringLiteral("Riff"));
    EXPECT_EQ(w.lblArtiste->text(), QStringLiteral("Band"));
    EXPECT_EQ(w.PageControl->currentWidget(), w.optionsPage);
}

TEST_F(MediaPageTest, LectureChoosesThePartialFileOfARunningDownloadAndReportsShortFiles)
{
    TestClient &w = createWindow();
    w.settings().setTempFolder(home.filePath(QStringLiteral("temp")));
    QDir().mkpath(w.settings().tempFolder());
    ASSERT_TRUE(w.transfers().NewDownload(makeRecord(QStringLiteral("1"), QStringLiteral("bob"),
        QStringLiteral("arrive.mp3"), QStringLiteral("1000"), 0, home.filePath(QStringLiteral("done/arrive.mp3")), 0,
        QString())));
    TvzkLoadPanel *panel = w.panel(QStringLiteral("Tel1"));
    ASSERT_NE(panel, nullptr);
    TTransferPage &page = w.openMenuOn(panel);

    // Still arriving: played from its own partial file in the temp folder.
    QFile partial(panel->job()->partialFilePath());
    ASSERT_EQ(QFileInfo(partial.fileName()).absolutePath(), QFileInfo(w.settings().tempFolder()).absoluteFilePath());
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.write(QByteArray(500, '\x11') + id3Block("Partiel", "Moi"));
    partial.close();
    page.Lecture1Click();
    EXPECT_EQ(w.WMPlayer->URL(), partial.fileName());
    EXPECT_EQ(w.lblTitre->text(), QStringLiteral("Partiel"));
    EXPECT_EQ(w.PageControl->currentWidget(), w.mediaPage);

    // A partial file still under 128 bytes: the report gets an input/output
    // error, playback was asked for, labels and page stay.
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly | QIODevice::Truncate));
    partial.write(QByteArray(40, '\x11'));
    partial.close();
    w.window->lblEnvoyerClick(w.lblTelEnCours);
    page.Lecture1Click();
    const QStringList errors = RecordedErrors::take();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().contains(QStringLiteral("arrive.mp3")));
    EXPECT_EQ(w.lblTitre->text(), QStringLiteral("Partiel"));
    EXPECT_EQ(w.PageControl->currentWidget(), w.downloadsPage);
    EXPECT_EQ(w.WMPlayer->URL(), partial.fileName());

    // Finished: the file at its destination.
    QDir().mkpath(home.filePath(QStringLiteral("done")));
    QFile done(panel->FichierPath());
    ASSERT_TRUE(done.open(QIODevice::WriteOnly));
    done.write(QByteArray(500, '\x22'));
    done.close();
    panel->job()->setStatus(QStringLiteral("0"));
    page.Lecture1Click();
    EXPECT_EQ(w.WMPlayer->URL(), panel->FichierPath());
    EXPECT_EQ(w.lblTitre->text(), QStringLiteral("arrive"));
    EXPECT_EQ(w.lblArtiste->text(), QStringLiteral("Inconnu"));

    // No selection on the page on show: nothing happens.
    w.downloadsPage->clearSelection();
    w.window->lblEnvoyerClick(w.lblTelEnCours);
    page.Lecture1Click();
    EXPECT_EQ(w.PageControl->currentWidget(), w.downloadsPage);
}

// "Ouvrir…" plays any file the back end takes, chosen on the disk; a file
// it cannot take is said and nothing plays.
TEST_F(MediaPageTest, OuvrirPlaysAFileOfTheDiskAndTellsWhatCannotBePlayed)
{
    TestClient &w = createWindow();
    ASSERT_NE(w.mediaPage->btnOuvrirMedia, nullptr);
    EXPECT_EQ(w.mediaPage->btnOuvrirMedia->Caption(), QStringLiteral("Ouvrir…"));

    // Cancelled: nothing.
    emit w.mediaPage->openRequested();
    ASSERT_EQ(dialogs.fileDialogs.size(), 1);
    EXPECT_TRUE(dialogs.fileDialogs.at(0).at(2).endsWith(QStringLiteral("Tous les fichiers  (*.*)|*.*")));
    EXPECT_TRUE(w.WMPlayer->URL().isEmpty());

    // A text file: told, not played.
    const QString text = home.filePath(QStringLiteral("notes.txt"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("rien a ecouter ici\n");
    f.close();
    dialogs.fileNames.enqueue(text);
    emit w.mediaPage->openRequested();
    EXPECT_TRUE(w.WMPlayer->URL().isEmpty());
    EXPECT_EQ(w.lblInfo->text(), QStringLiteral("Ce fichier ne peut pas être lu :\n\rnotes.txt"));

    // An MP3 (one of the names the page always took): played, its tag shown.
    const QString song = home.filePath(QStringLiteral("chanson.mp3"));
    QFile mp3(song);
    ASSERT_TRUE(mp3.open(QIODevice::WriteOnly));
    mp3.write(QByteArray(500, '\x11') + id3Block("Chanson", "Quelqu'un"));
    mp3.close();
    dialogs.fileNames.enqueue(song);
    emit w.mediaPage->openRequested();
    EXPECT_EQ(w.WMPlayer->URL(), song);
    EXPECT_EQ(w.lblTitre->text(), QStringLiteral("Chanson"));
    EXPECT_EQ(w.PageControl->currentWidget(), w.mediaPage);
}

} // namespace

