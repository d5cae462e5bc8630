#include "components/ui/TRbButton.h"
#include "components/ui/TRbPanel.h"
#include "ContactsFixture.h"

#include "base/ErrorReport.h"
#include "components/ui/TClickLabel.h"
#include "contacts/AvatarCache.h"
#include "contacts/JpegCodec.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/AvatarPictures.h"
#include "contacts/ui/TfrmChangeAvatar.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "service/ServiceSession.h"

#include <QBuffer>
#include <QFile>
#include <QFrame>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace {

QByteArray jpegOf(int width, int height, QColor color = Qt::red)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return JpegCodec::encode(image, 95);
}

class Avatars : public ContactsFixture
{
protected:
    void scriptAvatar(const QString &id, const QByteArray &jpeg)
    {
        service.script("/script/getinfo.php", FakeService::Reply::text(id));
        service.script("/avatars/" + id.toLatin1() + ".jpg", FakeService::Reply::bytes(jpeg));
    }
    qsizetype avatarRequests() const
    {
        qsizetype n = 0;
        for (const FakeService::Request &r : service.requests)
            n += r.path().startsWith("/avatars/") && r.method == "GET";
        return n;
    }
    QStringList watchLines() const
    {
        const QString text = window->reWatch->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(u'\n');
    }
    static QLabel *label(QWidget *parent, int height)
    {
        auto *l = new QLabel(parent);
        l->resize(height, height);
        return l;
    }
};

TEST_F(Avatars, OneMemberShownThreeTimesIsFetchedOnceAndFittedToEachHeight)
{
    TestClient &w = createContactsWindow();
    scriptAvatar(QStringLiteral("12"), jpegOf(100, 50));
    QWidget host;
    QLabel *places[] = { label(&host, 48), label(&host, 64), label(&host, 40) };
    for (QLabel *place : places)
        AvatarLabel::show(w.avatars(), QStringLiteral("bob"), place, false);
    EXPECT_EQ(service.requestsTo("/script/getinfo.php").size(), 1);
    EXPECT_EQ(avatarRequests(), 1);
    EXPECT_EQ(
        service.requestsTo("/script/getinfo.php").at(0).query(), QByteArray("function=getid&pseudo=bob"));
    for (QLabel *place : places)
        EXPECT_EQ(place->pixmap().size(), QSize(place->height() * 2, place->height()));
    // Every cache entry compared goes to the log: none the first time, then
    // "bob" for each look-up that finds it.
    EXPECT_EQ(watchLines(), (QStringList { QStringLiteral("bob"), QStringLiteral("bob") }));
    EXPECT_EQ(w.avatars().AvatarCacheNames, QStringList { QStringLiteral("bob") });
    EXPECT_EQ(w.avatars().AvatarCachePictures.at(0).size(), QSize(100, 50)); // kept at full size
}

TEST_F(Avatars, TheCacheComparesExactlyAndAnswersForManyMembers)
{
    TestClient &w = createContactsWindow();
    scriptAvatar(QStringLiteral("7"), jpegOf(20, 20));
    QWidget host;
    QLabel *place = label(&host, 40);
    for (int i = 0; i < 120; ++i)
        AvatarLabel::show(w.avatars(), QStringLiteral("member%1").arg(i), place, false);
    ASSERT_EQ(avatarRequests(), 120);
    AvatarLabel::show(w.avatars(), QStringLiteral("member9"), place, false);
    AvatarLabel::show(w.avatars(), QStringLiteral("member99"), place, false);
    EXPECT_EQ(avatarRequests(), 120);
    // Letter case counts: "MEMBER9" is another entry.
    AvatarLabel::show(w.avatars(), QStringLiteral("MEMBER9"), place, false);
    EXPECT_EQ(avatarRequests(), 121);
    EXPECT_EQ(w.avatars().AvatarCacheNames.size(), 121);
}

TEST_F(Avatars, BlankPseudonymSendsNothing)
{
    TestClient &w = createContactsWindow();
    scriptAvatar(QStringLiteral("12"), jpegOf(10, 10));
    QWidget host;
    QLabel *place = label(&host, 40);
    for (const QString &blank : { QString(), QStringLiteral("   "), QStringLiteral(" \t ") })
        AvatarLabel::show(w.avatars(), blank, place, false);
    EXPECT_TRUE(service.requests.isEmpty());
    EXPECT_TRUE(place->pixmap().isNull());

    // A picture larger than any avatar: refused like bytes that are not a
    // picture, before its pixels are reserved.
    service.clearScripts();
    scriptAvatar(QStringLiteral("12"), jpegOf(1025, 1024));
    EXPECT_FALSE(ErrorReport::guard([&] { AvatarLabel::show(w.avatars(), QStringLiteral("bob"), place, false); }));
    EXPECT_EQ(RecordedErrors::take(), QStringList { QStringLiteral("JPEG error: picture too large") });
    EXPECT_TRUE(w.avatars().AvatarCachePictures.isEmpty());
    EXPECT_TRUE(place->pixmap().isNull());
}

TEST_F(Avatars, FailuresLeaveTargetAndCacheAlone)
{
    TestClient &w = createContactsWindow();
    QWidget host;
    QLabel *place = label(&host, 40);

    // The member id request fails: silent.
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("no"), 500));
    AvatarLabel::show(w.avatars(), QStringLiteral("bob"), place, false);
    EXPECT_EQ(avatarRequests(), 0);

    // The picture request fails: silent too.
    service.clearScripts();
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("12")));
    AvatarLabel::show(w.avatars(), QStringLiteral("bob"), place, false);
    EXPECT_EQ(avatarRequests(), 1);
    EXPECT_TRUE(RecordedErrors::take().isEmpty());

    // Not a JPEG picture: the general error report, nothing cached.
    service.script("/avatars/12.jpg", FakeService::Reply::text(QStringLiteral("<html>Erreur 500</html>")));
    EXPECT_FALSE(ErrorReport::guard([&] { AvatarLabel::show(w.avatars(), QStringLiteral("bob"), place, false); }));
    const QStringList errors = RecordedErrors::take();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.at(0).startsWith(QStringLiteral("JPEG error"))) << errors.at(0).toStdString();
    EXPECT_TRUE(w.avatars().AvatarCacheNames.isEmpty());
    EXPECT_TRUE(w.avatars().AvatarCachePictures.isEmpty());
    EXPECT_TRUE(place->pixmap().isNull());
}

TEST_F(Avatars, AMemberIdWithALineEndNeverReachesTheWire)
{
    // The id is used as received in the picture's address; a line end there
    // would split the request, so the request fails instead, silently.
    TestClient &w = createContactsWindow();
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("42\r\n")));
    service.script("/avatars/42", FakeService::Reply::bytes(jpegOf(10, 10)));
    QWidget host;
    QLabel *place = label(&host, 40);
    AvatarLabel::show(w.avatars(), QStringLiteral("bob"), place, false);
    EXPECT_EQ(service.requests.size(), 1);
    EXPECT_TRUE(w.avatars().AvatarCacheNames.isEmpty());
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST_F(Avatars, RefreshReplacesTheCachedPicture)
{
    TestClient &w = createContactsWindow();
    scriptAvatar(QStringLiteral("12"), jpegOf(30, 30, Qt::red));
    QWidget host;
    QLabel *place = label(&host, 30);
    AvatarLabel::show(w.avatars(), QStringLiteral("bob"), place, false);
    service.clearScripts();
    scriptAvatar(QStringLiteral("12"), jpegOf(30, 30, Qt::blue));
    AvatarLabel::show(w.avatars(), QStringLiteral("bob"), place, true);
    EXPECT_EQ(avatarRequests(), 2);
    ASSERT_EQ(w.avatars().AvatarCacheNames.size(), 1);
    EXPECT_GT(qBlue(w.avatars().AvatarCachePictures.at(0).pixel(15, 15)), 200);
    EXPECT_GT(qBlue(place->pixmap().toImage().pixel(15, 15)), 200);
}

TEST_F(Avatars, ATargetGoneDuringTheWaitIsNotTouched)
{
    TestClient &w = createContactsWindow();
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("12")));
    service.script("/avatars/12.jpg", FakeService::Reply::bytes(jpegOf(10, 10)).after(100));
    auto *place = label(nullptr, 40);
    QTimer::singleShot(20, place, [place] { place->deleteLater(); });
    AvatarLabel::show(w.avatars(), QStringLiteral("bob"), place, false);
    EXPECT_EQ(w.avatars().AvatarCacheNames, QStringList { QStringLiteral("bob") });
}

// --- business card, profile, mail ---------------------------------------

TEST_F(Avatars, CardWithoutLineFeedShowsOnlyTheWebAddressCutTo255)
{
    TestClient &w = createContactsWindow();
    const QString longWeb = QStringLiteral("http://") + QString(300, u'w');
    service.script("/script/getinfo.php", FakeService::Reply::text(longWeb));
    w.lbOnline->AffichCarte(QStringLiteral("bob"));
    TfrmCard *card = w.card;
    EXPECT_TRUE(card->isVisible());
    EXPECT_EQ(
        service.requestsTo("/script/getinfo.php").at(0).query(), QByteArray("function=getinfo&pseudo=bob"));
    EXPECT_EQ(card->lblPseudo->text(), QStringLiteral("bob"));
    EXPECT_EQ(card->lblMail->text(), QString());
    EXPECT_TRUE(card->Label1->isHidden());
    EXPECT_EQ(card->webAddress(), longWeb.left(255));
    // Too long for the card: shortened on screen, whole in the tooltip and
    // when opened.
    EXPECT_LE(card->lblWeb->fontMetrics().horizontalAdvance(card->lblWeb->text()), card->lblWeb->width());
    EXPECT_TRUE(card->lblWeb->text().startsWith(QStringLiteral("http://")));
    EXPECT_EQ(card->lblWeb->toolTip(), longWeb.left(255));
    EXPECT_FALSE(card->Label3->isHidden());
    QTest::mouseClick(card->lblWeb, Qt::LeftButton);
    EXPECT_EQ(dialogs.openedUrls.last(), longWeb.left(255));
    EXPECT_FALSE(card->isVisible());
}

TEST_F(Avatars, CardShowsMailAndWebOpensThemAndCloses)
{
    TestClient &w = createContactsWindow();
    service.script(
        "/script/getinfo.php", FakeService::Reply::text(QStringLiteral("bob@exemple.fr\nhttp://bob.fr")));
    w.lbOnline->AffichCarte(QStringLiteral("bob"));
    TfrmCard *card = w.card;
    EXPECT_EQ(card->lblMail->text(), QStringLiteral("bob@exemple.fr"));
    EXPECT_FALSE(card->Label1->isHidden());
    EXPECT_EQ(card->lblWeb->text(), QStringLiteral("http://bob.fr"));
    QTest::mouseClick(card->lblMail, Qt::LeftButton);
    EXPECT_EQ(dialogs.openedUrls, QStringList { QStringLiteral("mailto:bob@exemple.fr") });
    EXPECT_FALSE(card->isVisible());

    w.lbOnline->AffichCarte(QStringLiteral("bob"));
    QTest::mouseClick(card->lblWeb, Qt::LeftButton);
    EXPECT_EQ(dialogs.openedUrls.last(), QStringLiteral("http://bob.fr"));
    EXPECT_FALSE(card->isVisible());
}

TEST_F(Avatars, ReusedCardNeverShowsThePreviousMembersPicture)
{
    TestClient &w = createContactsWindow();
    // getinfo answers in turn: alice's card, her id, bob's card, his id.
    for (const char *reply : { "a@exemple.fr\nhttp://a.fr", "7", "b@exemple.fr\nhttp://b.fr", "8" })
        service.script("/script/getinfo.php", FakeService::Reply::text(QString::fromLatin1(reply)));
    service.script("/avatars/7.jpg", FakeService::Reply::bytes(jpegOf(40, 40)));
    // bob has no avatar: /avatars/8.jpg answers 404.
    TfrmCard *card = w.card;
    w.lbOnline->AffichCarte(QStringLiteral("alice"));
    ASSERT_FALSE(card->imgAvatar->pixmap().isNull());
    card->close();
    w.lbOnline->AffichCarte(QStringLiteral("bob"));
    EXPECT_EQ(card->lblPseudo->text(), QStringLiteral("bob"));
    EXPECT_TRUE(card->imgAvatar->pixmap().isNull());
    card->close();
}

TEST_F(Avatars, WebAddressWithoutSchemeOpensAsAWebPage)
{
    const struct
    {
        const char *web;
        const char *opened;
    } cases[] = {
        { "www.site.fr", "http://www.site.fr" },
        { "site.fr/page?x=1", "http://site.fr/page?x=1" },
        { "http://site.fr", "http://site.fr" },
        { "https://site.fr", "https://site.fr" },
        { "ftp://site.fr/f", "ftp://site.fr/f" },
        { " www.site.fr ", "http://www.site.fr" },
        { "", "" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(TfrmCard::webAddressToOpen(QString::fromLatin1(c.web)), QString::fromLatin1(c.opened)) << c.web;

    TestClient &w = createContactsWindow();
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("b@exemple.fr\nwww.b.fr")));
    w.lbOnline->AffichCarte(QStringLiteral("bob"));
    QTest::mouseClick(w.card->lblWeb, Qt::LeftButton);
    EXPECT_EQ(dialogs.openedUrls.last(), QStringLiteral("http://www.b.fr"));
}

TEST_F(Avatars, AnAddressNoProgramCanOpenIsToldInTheInfoBar)
{
    TestClient &w = createContactsWindow();
    dialogs.openSucceeds = false;
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("b@exemple.fr\nwww.b.fr")));
    const struct
    {
        const char *what;
        std::function<void()> act;
        const char *address;
    } cases[] = {
        { "card mail", [&] { w.lbOnline->AffichCarte(QStringLiteral("bob"));
              QTest::mouseClick(w.card->lblMail, Qt::LeftButton); }, "mailto:b@exemple.fr" },
        { "card web", [&] { w.lbOnline->AffichCarte(QStringLiteral("bob"));
              QTest::mouseClick(w.card->lblWeb, Qt::LeftButton); }, "http://www.b.fr" },
        { "own profile", [&] { w.window->Affichermonprofil1Click(); }, nullptr },
        { "registration", [&] { w.loginPage->lblSubmitClick(); }, nullptr },
    };
    for (const auto &c : cases) {
        w.window->AffichInfo(QString(), false, 0);
        c.act();
        EXPECT_FALSE(w.pnInfo->isHidden()) << c.what;
        EXPECT_TRUE(w.lblInfo->text().startsWith(QStringLiteral("Aucun programme n'a pu ouvrir :\n\r")))
            << c.what;
        EXPECT_TRUE(w.lblInfo->text().endsWith(dialogs.openedUrls.last())) << c.what;
        if (c.address) {
            EXPECT_EQ(dialogs.openedUrls.last(), QString::fromLatin1(c.address)) << c.what;
        }
    }
    // When the program opens, nothing is said.
    dialogs.openSucceeds = true;
    w.window->AffichInfo(QString(), false, 0);
    w.window->Affichermonprofil1Click();
    EXPECT_TRUE(w.pnInfo->isHidden());
}

TEST_F(Avatars, CardFailureShowsTheNetworkErrorAndNoCard)
{
    TestClient &w = createContactsWindow();
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("x"), 503));
    w.lbOnline->AffichCarte(QStringLiteral("bob"));
    EXPECT_FALSE(w.card->isVisible());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages.at(0).text,
        QStringLiteral(
            "Le réseau est indisponible, veuillez réessayer\n\rVérifiez votre connexion à Internet"));
    EXPECT_EQ(dialogs.messages.at(0).kind, DialogService::Kind::Error);
}

TEST_F(Avatars, CardSitsOnTheSelectedRowAndClosesOnLosingFocus)
{
    TestClient &w = createContactsWindow();
    w.window->show();
    logIn({ QStringLiteral("alice"), QStringLiteral("bob") });
    QTreeWidgetItem *row = w.lbOnline->topLevelItem(2);
    w.lbOnline->setCurrentItem(row);
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("a@b.fr\nhttp://c.fr")));
    w.lbOnline->Afficherlacartedevisite1Click();
    TfrmCard *card = w.card;
    ASSERT_TRUE(card->isVisible());
    EXPECT_EQ(card->lblPseudo->text(), ContactRows::textOf(row));
    const QRect r = w.lbOnline->visualItemRect(row);
    EXPECT_EQ(card->pos(), QPoint(r.left() + w.window->x() + w.lbOnline->x(), r.top() + w.window->y() + w.lbOnline->y()));
    EXPECT_TRUE(card->windowFlags() & Qt::WindowStaysOnTopHint);

    // The close button: picture 1 under the mouse, 0 back on the panel.
    EXPECT_EQ(card->closeImageIndex(), 0);
    QMouseEvent overButton(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5),
        card->btnClose->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(card->btnClose, &overButton);
    EXPECT_EQ(card->closeImageIndex(), 1);
    QMouseEvent overPanel(QEvent::MouseMove, QPointF(50, 50), QPointF(50, 50),
        card->mapToGlobal(QPointF(50, 50)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(card->RbPanel4, &overPanel);
    EXPECT_EQ(card->closeImageIndex(), 0);

    // The user clicks elsewhere: the card goes.
    ASSERT_TRUE(QTest::qWaitForWindowActive(card));
    w.window->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([card] { return !card->isVisible(); }, 2000));

    w.lbOnline->AffichCarte(QStringLiteral("bob"));
    ASSERT_TRUE(card->isVisible());
    QTest::mouseClick(card->btnClose, Qt::LeftButton);
    EXPECT_FALSE(card->isVisible());
}

TEST_F(Avatars, ProfilePagesAndMail)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("bob") });
    const QString profile
        = service.baseUrl() + QStringLiteral("/quixvale/index.php?page=affichmembre.php?id=");

    // Own profile with whatever UserId holds, 0 before any member id came.
    w.window->Affichermonprofil1Click();
    EXPECT_EQ(dialogs.openedUrls.last(), profile + QStringLiteral("0"));

    // A contact's profile needs a selected row.
    w.lbOnline->AfficherProfil1Click();
    EXPECT_TRUE(service.requests.isEmpty());
    w.lbOnline->setCurrentItem(w.lbOnline->topLevelItem(2));
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("31")));
    w.lbOnline->AfficherProfil1Click();
    EXPECT_EQ(service.requests.last().query(), QByteArray("function=getid&pseudo=bob"));
    EXPECT_EQ(dialogs.openedUrls.last(), profile + QStringLiteral("31"));

    service.clearScripts();
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("bob@exemple.fr")));
    w.lbOnline->Envoyerunmessage2Click();
    EXPECT_EQ(service.requests.last().query(), QByteArray("function=getmail&pseudo=bob"));
    EXPECT_EQ(dialogs.openedUrls.last(), QStringLiteral("mailto:bob@exemple.fr"));

    // Failures: the profile shows the error, the mail opens "mailto:" alone.
    service.clearScripts();
    const qsizetype opened = dialogs.openedUrls.size();
    w.lbOnline->AfficherProfil1Click();
    EXPECT_EQ(dialogs.openedUrls.size(), opened);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages.at(0).kind, DialogService::Kind::Error);
    w.lbOnline->Envoyerunmessage2Click();
    EXPECT_EQ(dialogs.openedUrls.last(), QStringLiteral("mailto:"));
}

// --- own avatar --------------------------------------------------------------

class ChangeAvatar : public Avatars
{
protected:
    QString writeJpeg(const QString &name, const QByteArray &bytes)
    {
        const QString path = home.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // The JPEG inside the multipart body of an upload.
    static QByteArray uploadedJpeg(const FakeService::Request &r)
    {
        const qsizetype start = r.body.indexOf(QByteArray("\xFF\xD8", 2));
        const qsizetype end = r.body.lastIndexOf(QByteArray("\xFF\xD9", 2));
        return start < 0 || end < start ? QByteArray() : r.body.mid(start, end + 2 - start);
    }
};

TEST_F(ChangeAvatar, ChosenPictureIsBroughtDownTo94AndUploaded)
{
    const struct
    {
        QSize chosen;
        QSize sent;
    } cases[] = {
        { { 200, 100 }, { 94, 47 } },
        { { 80, 94 }, { 80, 94 } },
        { { 95, 10 }, { 94, 10 } }, // 10 × 94/95 = 9.89
        { { 100, 300 }, { 31, 94 } },
        { { 120, 120 }, { 94, 94 } },
        // A photograph larger than any avatar the service sends is still a
        // picture one may choose.
        { { 2000, 1000 }, { 94, 47 } },
    };
    TestClient &w = createContactsWindow(QStringLiteral("Zoé"));
    ASSERT_TRUE(w.logInSession(service, w.session().currentPseudo()));
    service.requests.clear();
    TfrmChangeAvatar *form = w.changeAvatar;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.chosen.width() << "x" << c.chosen.height());
        service.clearScripts();
        service.requests.clear();
        service.script("/avatars/uploadqxa.php", FakeService::Reply::text(QStringLiteral("ok")));
        scriptAvatar(QStringLiteral("5"), jpegOf(94, 47, Qt::green));
        dialogs.fileNames.enqueue(
            writeJpeg(QStringLiteral("chosen.jpg"), jpegOf(c.chosen.width(), c.chosen.height())));

        form->btnChangeAvatarClick();

        const QList<FakeService::Request> uploads = service.requestsTo("/avatars/uploadqxa.php");
        ASSERT_EQ(uploads.size(), 1);
        EXPECT_EQ(uploads.at(0).query(), QByteArray("pseudo=Zo\xE9"));
        EXPECT_TRUE(uploads.at(0).body.contains("name=\"dossier\""));
        const std::optional<QImage> sent = JpegCodec::decode(uploadedJpeg(uploads.at(0)));
        ASSERT_TRUE(sent.has_value());
        EXPECT_EQ(sent->size(), c.sent);
        EXPECT_FALSE(QFileInfo::exists(form->uploadFilePath()));
        EXPECT_TRUE(form->btnChangeAvatar->isEnabled());
        EXPECT_TRUE(dialogs.messages.isEmpty());
        // The own avatar is fetched again, then shown from the cache.
        EXPECT_EQ(avatarRequests(), 1);
        EXPECT_EQ(w.imgAvatar->pixmap().height(), w.imgAvatar->height());
        EXPECT_EQ(form->imgAvatar->pixmap().height(), form->imgAvatar->height());
    }
    EXPECT_EQ(w.avatars().AvatarCacheNames, QStringList { QStringLiteral("Zoé") });
}

// A picture in any of the usual formats becomes the JPEG the service takes,
// whatever its file is called; the dialog offers them all first.
TEST_F(ChangeAvatar, PngWebpAndBmpPicturesAreSentAsJpeg)
{
    TestClient &w = createContactsWindow(QStringLiteral("Zoé"));
    ASSERT_TRUE(w.logInSession(service, w.session().currentPseudo()));
    TfrmChangeAvatar *form = w.changeAvatar;
    QImage picture(188, 120, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 40));
    for (const char *format : { "PNG", "WEBP", "BMP" }) {
        SCOPED_TRACE(format);
        service.clearScripts();
        service.requests.clear();
        service.script("/avatars/uploadqxa.php", FakeService::Reply::text(QStringLiteral("ok")));
        scriptAvatar(QStringLiteral("5"), jpegOf(94, 60, Qt::green));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(picture.save(&buffer, format, 100));
        // Named .jpg on purpose: the content decides.
        dialogs.fileNames.enqueue(writeJpeg(QStringLiteral("choisie.jpg"), bytes));
        form->btnChangeAvatarClick();
        const QList<FakeService::Request> uploads = service.requestsTo("/avatars/uploadqxa.php");
        ASSERT_EQ(uploads.size(), 1);
        const std::optional<QImage> sent = JpegCodec::decode(uploadedJpeg(uploads.at(0)));
        ASSERT_TRUE(sent.has_value());
        EXPECT_EQ(sent->size(), QSize(94, 60));
        const QColor middle = sent->pixelColor(47, 30);
        EXPECT_NEAR(middle.red(), 200, 12);
        EXPECT_NEAR(middle.green(), 30, 12);
    }
    ASSERT_FALSE(dialogs.fileDialogs.isEmpty());
    EXPECT_TRUE(dialogs.fileDialogs.last().at(2).startsWith(QStringLiteral("Images (JPEG, PNG, WebP, BMP)|")));
    EXPECT_TRUE(dialogs.fileDialogs.last().at(2).endsWith(QStringLiteral("|Fichier image JPEG (*.jpg)|*.jpg")));
}

// What the avatar choice reads: the four formats by their content, nothing
// else, and no picture larger than the limit.
TEST(AvatarPicturesDecode, ReadsTheFourFormatsAndRefusesTheRest)
{
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(QColor(10, 120, 230));
    const auto saved = [&](const char *format) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, format, 100);
        return bytes;
    };
    const struct
    {
        const char *what;
        QByteArray bytes;
        qint64 maxPixels;
        bool read;
        const char *error; // start of the reason when refused
    } cases[] = {
        { "jpeg", JpegCodec::encode(picture, 100), JpegCodec::kMaxPixels, true, "" },
        { "png", saved("PNG"), JpegCodec::kMaxPixels, true, "" },
        { "webp", saved("WEBP"), JpegCodec::kMaxPixels, true, "" },
        { "bmp", saved("BMP"), JpegCodec::kMaxPixels, true, "" },
        { "gif", QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b"),
            JpegCodec::kMaxPixels, false, "Ce fichier n'est pas une image JPEG, PNG, WebP ou BMP." },
        { "text", QByteArray("bonjour"), JpegCodec::kMaxPixels, false, "Ce fichier n'est pas une image" },
        { "png over the limit", saved("PNG"), 599, false, "Cette image est trop grande (30 × 20 pixels)." },
        { "png cut short", saved("PNG").left(60), JpegCodec::kMaxPixels, false, "Cette image est illisible" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.bytes.isEmpty());
        QString why;
        const std::optional<QImage> decoded = AvatarPictures::decodeChosen(c.bytes, &why, c.maxPixels);
        EXPECT_EQ(decoded.has_value(), c.read) << why.toStdString();
        if (decoded) {
            EXPECT_EQ(decoded->size(), QSize(30, 20));
            EXPECT_NEAR(decoded->pixelColor(15, 10).blue(), 230, 8);
        } else {
            EXPECT_TRUE(why.startsWith(QString::fromUtf8(c.error))) << why.toStdString();
        }
    }
}

TEST_F(ChangeAvatar, RefusalCancelAndBadFile)
{
    TestClient &w = createContactsWindow();
    ASSERT_TRUE(w.logInSession(service, w.session().currentPseudo()));
    service.requests.clear();
    TfrmChangeAvatar *form = w.changeAvatar;

    // Cancelled file dialog: nothing happens.
    form->btnChangeAvatarClick();
    EXPECT_TRUE(service.requests.isEmpty());

    // The service refuses: "Erreur", the file still goes away.
    service.script("/avatars/uploadqxa.php", FakeService::Reply::text(QStringLiteral("refusé")));
    dialogs.fileNames.enqueue(writeJpeg(QStringLiteral("a.jpg"), jpegOf(10, 10)));
    form->btnChangeAvatarClick();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages.at(0).text, QStringLiteral("Erreur"));
    EXPECT_FALSE(QFileInfo::exists(form->uploadFilePath()));

    // Not a JPEG: the general error report, no upload, the button comes back.
    const qsizetype before = service.requests.size();
    dialogs.fileNames.enqueue(writeJpeg(QStringLiteral("b.jpg"), QByteArray("GIF89a not a jpeg")));
    EXPECT_FALSE(ErrorReport::guard([&] { form->btnChangeAvatarClick(); }));
    EXPECT_EQ(RecordedErrors::take().size(), 1);
    EXPECT_EQ(service.requests.size(), before);
    EXPECT_TRUE(form->btnChangeAvatar->isEnabled());

    // A failed upload request: the general error report too.
    service.clearScripts();
    service.script("/avatars/uploadqxa.php", FakeService::Reply::closeWithoutReply());
    dialogs.fileNames.enqueue(writeJpeg(QStringLiteral("c.jpg"), jpegOf(10, 10)));
    EXPECT_FALSE(ErrorReport::guard([&] { form->btnChangeAvatarClick(); }));
    EXPECT_EQ(RecordedErrors::take().size(), 1);
    EXPECT_TRUE(form->btnChangeAvatar->isEnabled());
}

TEST_F(ChangeAvatar, ReusedWindowNeverShowsThePreviousAccountsPicture)
{
    TestClient &w = createContactsWindow(QStringLiteral("alice"));
    ASSERT_TRUE(w.logInSession(service, w.session().currentPseudo()));
    service.requests.clear();
    w.avatars().AvatarCacheNames.append(QStringLiteral("alice"));
    w.avatars().AvatarCachePictures.append(JpegCodec::decodeOrThrow(jpegOf(20, 20)));
    TfrmChangeAvatar *window = w.changeAvatar;
    window->show();
    ASSERT_FALSE(window->imgAvatar->pixmap().isNull());
    window->hide();
    // Another account, whose avatar the service does not have.
    w.session().setAccount(QStringLiteral("bob"), QStringLiteral("bob"));
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("8")));
    window->show();
    EXPECT_EQ(window->lblPseudo->text(), QStringLiteral("bob"));
    EXPECT_TRUE(window->imgAvatar->pixmap().isNull());
    window->hide();
}

TEST_F(ChangeAvatar, OpensOnlyWhileConnected)
{
    TestClient &w = createContactsWindow();
    bool shown = false;
    QTimer::singleShot(0, w.window, [&] {
        shown = w.changeAvatar->isVisible();
        w.changeAvatar->close();
    });
    w.window->imgAvatarClick();
    QCoreApplication::processEvents();
    EXPECT_FALSE(shown);

    ASSERT_TRUE(w.logInSession(service, w.session().currentPseudo()));
    service.requests.clear();
    // The own avatar already cached: showing the window needs no request.
    w.avatars().AvatarCacheNames.append(w.session().currentPseudo());
    w.avatars().AvatarCachePictures.append(JpegCodec::decodeOrThrow(jpegOf(20, 20)));
    QTimer::singleShot(0, w.window, [&] {
        shown = w.changeAvatar->isVisible();
        w.changeAvatar->reject();
    });
    QTest::mouseClick(w.imgAvatar, Qt::LeftButton);
    EXPECT_TRUE(shown);
    EXPECT_EQ(w.changeAvatar->lblPseudo->text(), w.session().currentPseudo());
    EXPECT_EQ(w.changeAvatar->imgAvatar->pixmap().height(), 92);
    EXPECT_TRUE(service.requests.isEmpty());
}

} // namespace
