#include "app/PopupNotifier.h"
#include "app/ui/AlertSound.h"
#include "app/ui/TfrmMsgBox.h"
#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TClickLabel.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Records what would be played; "plays" until finish() is called.
class FakeSound : public AlertSound
{
public:
    QStringList started;
    bool playing = false;
    void finish() { playing = false; }

protected:
    bool isPlaying() const override { return playing; }
    void start(const QString &path) override
    {
        started << path;
        playing = true;
    }
};

QList<TfrmMsgBox *> popups()
{
    QList<TfrmMsgBox *> list;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<TfrmMsgBox *>(w); box && !box->released())
            list << box;
    return list;
}

void sendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button = Qt::NoButton)
{
    const QPointF pos(target->width() / 2.0, target->height() / 2.0);
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button,
        type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

class MsgBox : public MainWindowFixture
{
protected:
    ~MsgBox() override
    {
        for (TfrmMsgBox *box : popups())
            box->btnCloseClick();
        flushDeletes();
    }

    // The pop-up made by one NewMsgBox call.
    TfrmMsgBox *raise(TestClient &w, const QString &pseudo, const QString &text, quint8 kind)
    {
        const QList<TfrmMsgBox *> before = popups();
        w.window->NewMsgBox(pseudo, text, kind);
        for (TfrmMsgBox *box : popups())
            if (!before.contains(box))
                return box;
        return nullptr;
    }
};

TEST_F(MsgBox, PopUpsLineUpFromTheLeftAndANewOneTakesThePlaceTheCountGives)
{
    TestClient &w = createWindow();
    // Placement only: no avatar request (whose wait would let the slide
    // timers run): the cache has an empty picture for each of them. The
    // slide is held where the pop-up was made.
    for (const char *pseudo : { "Alice", "Bob", "Carole", "David" }) {
        w.avatars().AvatarCacheNames.append(QString::fromLatin1(pseudo));
        w.avatars().AvatarCachePictures.append(QImage());
    }
    const auto raise = [this, &w](const char *pseudo) {
        TfrmMsgBox *box = this->raise(w, QString::fromLatin1(pseudo), QStringLiteral("vient de se connecter"), 0);
        if (box)
            box->Moteur->stop();
        return box;
    };
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().topLeft(), QPoint(0, 0));
    TfrmMsgBox *a = raise("Alice");
    TfrmMsgBox *b = raise("Bob");
    TfrmMsgBox *c = raise("Carole");
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->x(), 10);
    EXPECT_EQ(b->x(), 191);
    EXPECT_EQ(c->x(), 372);
    EXPECT_EQ(w.notifier().MsgBoxCount, 3);
    for (TfrmMsgBox *box : { a, b, c }) {
        EXPECT_EQ(box->size(), QSize(181, 144));
        EXPECT_EQ(box->y(), -144);
        EXPECT_TRUE(box->isVisible());
        EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(box->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(box->parentWidget(), nullptr);
    }
    a->btnCloseClick();
    EXPECT_EQ(w.notifier().MsgBoxCount, 2);
    TfrmMsgBox *d = raise("David");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->x(), 372);
    EXPECT_EQ(b->x(), 191); // the others stay where they are
    EXPECT_EQ(w.notifier().MsgBoxCount, 3);
}

TEST_F(MsgBox, SlidesInHoldsSlidesOutAndIsReleasedOnce)
{
    TestClient &w = createWindow();
    TfrmMsgBox *box = raise(w, "Telechargement", "terminé", 2);
    ASSERT_TRUE(box);
    box->Moteur->stop(); // the test drives the timer
    QPointer<TfrmMsgBox> alive = box;
    for (int i = 0; i < 47; ++i)
        box->MoteurTimer();
    EXPECT_EQ(box->top(), -3);
    box->MoteurTimer();
    EXPECT_EQ(box->top(), 0);
    EXPECT_EQ(box->y(), 0);
    EXPECT_EQ(box->HoldTicks, 0);
    for (int i = 0; i < 450; ++i)
        box->MoteurTimer();
    EXPECT_EQ(box->HoldTicks, 450);
    EXPECT_EQ(box->top(), 0);
    for (int i = 0; i < 47; ++i)
        box->MoteurTimer();
    EXPECT_EQ(box->top(), -141);
    EXPECT_EQ(w.notifier().MsgBoxCount, 1);
    box->MoteurTimer();
    EXPECT_TRUE(box->released());
    EXPECT_EQ(w.notifier().MsgBoxCount, 0);
    box->MoteurTimer(); // a tick already queued changes nothing
    box->btnCloseClick();
    EXPECT_EQ(w.notifier().MsgBoxCount, 0);
    flushDeletes();
    EXPECT_TRUE(alive.isNull());
}

TEST_F(MsgBox, TheSlideKeepsTheDesktopTimerPace)
{
    TestClient &w = createWindow();
    TfrmMsgBox *box = raise(w, "Envoi", "terminé", 3);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Moteur->interval(), 16); // 48 steps: ~0.77 s; 450 holds: ~7.2 s
    EXPECT_EQ(box->Moteur->timerType(), Qt::PreciseTimer);
    EXPECT_TRUE(box->Moteur->isActive());
    QTest::qWait(320);
    // About 20 ticks of 3 pixels: well on the way, far from done.
    EXPECT_GT(box->top(), -144 + 30);
    EXPECT_LT(box->top(), 0);
}

TEST_F(MsgBox, ClosingDuringTheSlideInReleasesAtOnceAndCountsOnce)
{
    TestClient &w = createWindow();
    TfrmMsgBox *box = raise(w, "Envoi", "terminé", 3);
    ASSERT_TRUE(box);
    box->Moteur->stop();
    for (int i = 0; i < 10; ++i)
        box->MoteurTimer();
    QPointer<TfrmMsgBox> alive = box;
    sendMouse(box->btnClose, QEvent::MouseButtonPress, Qt::LeftButton);
    sendMouse(box->btnClose, QEvent::MouseButtonRelease, Qt::LeftButton);
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(w.notifier().MsgBoxCount, 0);
    box->btnCloseClick(); // a second click before it is gone
    EXPECT_EQ(w.notifier().MsgBoxCount, 0);
    flushDeletes();
    EXPECT_TRUE(alive.isNull());
}

TEST_F(MsgBox, CloseButtonLooks)
{
    TestClient &w = createWindow();
    TfrmMsgBox *box = raise(w, "Alice", "vient de se connecter", 0);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->closeButtonPicture(), 0);
    EXPECT_EQ(box->btnClose->size(), QSize(13, 13));
    EXPECT_EQ(box->btnClose->pos(), QPoint(160, 4));
    sendMouse(box->btnClose, QEvent::MouseMove);
    EXPECT_EQ(box->closeButtonPicture(), 1);
    sendMouse(box->btnClose, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(box->closeButtonPicture(), 2);
    sendMouse(box->Image1, QEvent::MouseMove);
    EXPECT_EQ(box->closeButtonPicture(), 0);
    sendMouse(box->btnClose, QEvent::MouseMove);
    sendMouse(box->Image2, QEvent::MouseMove); // over the frame's inside
    EXPECT_EQ(box->closeButtonPicture(), 0);
    EXPECT_EQ(box->btnClose->pixmap().toImage(), box->ImageList.at(0).toImage());
}

TEST_F(MsgBox, DownloadAndUploadPopUpsLeadToTheirPages)
{
    TestClient &w = createWindow();
    int broughtBack = 0;
    QObject::connect(w.window, &TfrmPrincipal::applicationRestoring, w.window, [&] { ++broughtBack; });
    const struct
    {
        const char *pseudo;
        quint8 kind;
        int icon;
        int page;
    } cases[] = { { "Telechargement", 2, 1, 1 }, { "Envoi", 3, 0, 2 } };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pseudo);
        w.window->hide();
        w.PageControl->setCurrentIndex(0);
        TfrmMsgBox *box = raise(w, c.pseudo, QStringLiteral("terminé"), c.kind);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->lblTexteCentral->text(), QString::fromUtf8(c.pseudo) + QStringLiteral("\n\rterminé"));
        EXPECT_EQ(box->Kind, c.kind);
        EXPECT_EQ(box->imgAvatar->pixmap().toImage(), box->ImageListTel.at(c.icon).toImage());
        EXPECT_TRUE(box->lblSendFile->isHidden());
        EXPECT_TRUE(box->lblDialoguer->isHidden());
        QTest::mouseClick(box->lblTexteCentral, Qt::LeftButton);
        EXPECT_TRUE(w.window->isVisible());
        EXPECT_EQ(w.PageControl->currentIndex(), c.page);
        EXPECT_EQ(w.window->highlightedMenuLabel(), c.kind == 2 ? w.lblTelEnCours : w.lblEnvoisEnCours);
        EXPECT_FALSE(box->released()); // it stays until its slide ends
        // The picture and the body's background lead there as well.
        w.PageControl->setCurrentIndex(0);
        sendMouse(box->Image2, QEvent::MouseButtonRelease, Qt::LeftButton);
        EXPECT_EQ(w.PageControl->currentIndex(), c.page);
    }
    EXPECT_EQ(broughtBack, 4);
}

TEST_F(MsgBox, AFileOfferRestoresTheIncomingFileWindow)
{
    TestClient &w = createWindow();
    TfrmReception &reception = *w.reception;
    reception.setWindowState(Qt::WindowMinimized);
    TfrmMsgBox *box = raise(w, "Alice", QStringLiteral("vous envoi : \n\rphoto.jpg"), 1);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->lblTexteCentral->text(), QStringLiteral("Alice\n\rvous envoi : \n\rphoto.jpg"));
    EXPECT_EQ(box->imgAvatar->pixmap().toImage(), box->ImageListTel.at(2).toImage());
    const int pageBefore = w.PageControl->currentIndex();
    QTest::mouseClick(box->lblTexteCentral, Qt::LeftButton);
    EXPECT_FALSE(reception.windowState() & Qt::WindowMinimized);
    EXPECT_EQ(w.PageControl->currentIndex(), pageBefore);
}

TEST_F(MsgBox, AContactPopUpShowsTheAvatarAndItsLinks)
{
    TestClient &w = createWindow();
    // Alice's avatar is in the cache: no request.
    QImage avatar(80, 60, QImage::Format_RGB32);
    avatar.fill(QColor(10, 200, 30));
    w.avatars().AvatarCacheNames.append(QStringLiteral("Alice"));
    w.avatars().AvatarCachePictures.append(avatar);
    TfrmMsgBox *box = raise(w, "Alice", "vient de se connecter", 0);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->imgAvatar->pixmap().toImage().pixelColor(5, 5), QColor(10, 200, 30));
    EXPECT_EQ(box->ContactPseudo, QStringLiteral("Alice"));
    EXPECT_EQ(box->imgAvatar->pixmap().size(), QSize(53, 40)); // fitted to the pop-up's height, proportional
    EXPECT_FALSE(box->lblDialoguer->isHidden());
    EXPECT_FALSE(box->lblSendFile->isHidden());
    EXPECT_EQ(box->lblDialoguer->text(), QStringLiteral("Dialoguer"));
    EXPECT_EQ(box->lblSendFile->text(), QStringLiteral("Envoyer un fichier"));

    // The body does nothing for this kind; "Dialoguer" has no action.
    QTest::mouseClick(box->lblTexteCentral, Qt::LeftButton);
    QTest::mouseClick(box->lblDialoguer, Qt::LeftButton);
    EXPECT_EQ(w.PageControl->currentIndex(), 0);
    EXPECT_FALSE(w.window->isVisible());

    // The send page comes once the click is over (its file dialog must not
    // run under the pop-up's handler).
    QTest::mouseClick(box->lblSendFile, Qt::LeftButton);
    EXPECT_TRUE(dialogs.fileDialogs.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_EQ(w.PageControl->currentIndex(), 3);
    // The recipient is filled and the file choice opens.
    EXPECT_EQ(w.txtDesti->text(), QStringLiteral("Alice"));
    ASSERT_EQ(dialogs.fileDialogs.size(), 1);
    EXPECT_EQ(dialogs.fileDialogs.at(0).value(0), QStringLiteral("open"));
}

TEST_F(MsgBox, TheAlertPlaysFromTheProgramFolderAndNeverOverItself)
{
    TestClient &w = createWindow();
    auto *sound = new FakeSound;
    w.window->setAlertSound(sound);
    const QString wav = QDir(home.path()).filePath(QStringLiteral("newalert.wav"));

    w.notifier().SoundEnabled = true;
    raise(w, "Alice", "vient de se connecter", 0); // no file yet: silent
    EXPECT_TRUE(sound->started.isEmpty());

    QFile f(wav);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("RIFF");
    f.close();
    raise(w, "Bob", "vient de se connecter", 0);
    EXPECT_EQ(sound->started, QStringList({ home.path() + QStringLiteral("/newalert.wav") }));
    raise(w, "Carole", "vient de se connecter", 0); // the first still plays
    EXPECT_EQ(sound->started.size(), 1);
    sound->finish();
    w.notifier().SoundEnabled = false;
    raise(w, "David", "vient de se connecter", 0);
    EXPECT_EQ(sound->started.size(), 1);
    w.notifier().SoundEnabled = true;
    raise(w, "Eve", "vient de se connecter", 0);
    EXPECT_EQ(sound->started.size(), 2);
}

TEST_F(MsgBox, TheRealPlayerIsSilentWithoutAFileOrAnAudioDevice)
{
#if defined(__SANITIZE_THREAD__)
    // Qt Multimedia loads samples on a thread of its own whose glib event
    // descriptors the thread sanitizer cannot follow (uninstrumented
    // libraries); the sound's own logic is covered with FakeSound above.
    GTEST_SKIP() << "Qt Multimedia's sample loader is not instrumented for the thread sanitizer";
#endif
    QTemporaryDir dir;
    AlertSound sound;
    EXPECT_FALSE(sound.play(dir.filePath(QStringLiteral("newalert.wav"))));
    // A valid, short WAV: 8 kHz, 8 bits, mono, 80 samples.
    QByteArray data;
    const auto u32 = [&](quint32 v) { data.append(reinterpret_cast<const char *>(&v), 4); };
    const auto u16 = [&](quint16 v) { data.append(reinterpret_cast<const char *>(&v), 2); };
    data += "RIFF";
    u32(36 + 80);
    data += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(8000);
    u16(1);
    u16(8);
    data += "data";
    u32(80);
    data += QByteArray(80, char(128));
    QFile f(dir.filePath(QStringLiteral("newalert.wav")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();
    EXPECT_TRUE(sound.play(f.fileName()));
    QTest::qWait(50); // loading and playing, or failing quietly, go on asynchronously
}

TEST_F(MsgBox, ScreenshotOfADownloadPopUp)
{
    TestClient &w = createWindow();
    TfrmMsgBox *box = raise(w, "Telechargement", "terminé", 2);
    ASSERT_TRUE(box);
    box->Moteur->stop();
    const QImage shot = box->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(181, 144));
    if (!qEnvironmentVariableIsEmpty("VOXLANE_SAVE_SHOTS"))
        shot.save(QDir(qEnvironmentVariable("VOXLANE_SAVE_SHOTS")).filePath(QStringLiteral("popup.png")));
    const QColor frame(0xB3, 0x9E, 0x2D);
    EXPECT_EQ(shot.pixelColor(0, 70), frame);
    EXPECT_EQ(shot.pixelColor(180, 70), frame);
    EXPECT_EQ(shot.pixelColor(90, 0), frame);
    EXPECT_EQ(shot.pixelColor(90, 143), frame);
    // Row 0 is the frame; row 1 of the title strip is one step of 25 from
    // 0xDEF3F8 toward 0x9DDEE9, row 1 of the body one step of 120 from white, row 118
    // 118 steps (222.55 for blue, truncated).
    EXPECT_EQ(shot.pixelColor(120, 1), QColor(0xF7, 0xF2, 0xDB));
    EXPECT_EQ(shot.pixelColor(120, 25), QColor(0xFE, 0xFE, 0xFE));
    EXPECT_EQ(shot.pixelColor(120, 142), QColor(0xF8, 0xF3, 0xDE));
    // The picture frame's border, 0x4EC9DE, at the panel's left edge.
    EXPECT_EQ(shot.pixelColor(9 + 0, 62 + 21), QColor(0xDE, 0xC9, 0x4E));
    // The download icon: the blue arrow inside the panel.
    EXPECT_EQ(shot.pixelColor(9 + 1 + 4 + 16, 62 + 1 + 4 + 10), QColor(0x31, 0x6A, 0xC5));
    // The message in 0x67371B somewhere in its box.
    int ink = 0;
    for (int y = 35; y < 129; ++y)
        for (int x = 52; x < 177; ++x) {
            const QColor c = shot.pixelColor(x, y);
            ink += c.red() < 0x90 && c.blue() > c.red();
        }
    EXPECT_GT(ink, 20);
}

} // namespace
