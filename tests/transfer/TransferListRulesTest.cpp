#include "components/ui/TRbButton.h"
#include "components/ui/TRbPanel.h"
#include "transfer/TransferHighlight.h"
#include "transfer/TransferListRules.h"
#include "transfer/TransferProperties.h"
#include "transfer/ui/TfrmPropriete.h"

#include "base/ErrorReport.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

const QString kStamp = QStringLiteral("20261225143005123"); // 25 Dec 2026, 14:30:05.123

TEST(DateFromIDTel, DayMonthYearHourMinuteWhateverTheMemberId)
{
    const struct
    {
        QString id;
        const char *text;
    } cases[] = {
        { QStringLiteral("7") + kStamp, "25/12/2026 14:30" },
        { QStringLiteral("98765") + kStamp, "25/12/2026 14:30" },
        { kStamp, "25/12/2026 14:30" },
        { QStringLiteral("4220260105090359001"), "05/01/2026 09:03" },
        { QStringLiteral("12026122514300"), "" },        // too short to hold a stamp
        { QStringLiteral("7") + kStamp.left(16) + u'x', "" }, // not a stamp
        { QString(), "" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(TransferListRules::DateFromIDTel(c.id), QString::fromUtf8(c.text)) << c.id.toStdString();
}

TEST(TransferListRules, LectureOnlyForTheExactLowerCaseExtensions)
{
    const struct
    {
        const char *name;
        bool playable;
    } cases[] = {
        { "clip.mp3", true },  { "clip.MP3", false },      { "clip.Mp3", false }, { "film.mpg", false },
        { "film.mpeg", true }, { "a.avi", true },          { "a.wma", true },     { "a.wmv", true },
        { "mp3", false },      { "clip.mp3.txt", false },  { "clip.tar.mp3", true }, { "", false },
    };
    for (const auto &c : cases)
        EXPECT_EQ(TransferListRules::isPlayable(QString::fromUtf8(c.name)), c.playable) << c.name;
}

TEST(TransferListRules, PopupMenuFollowsTheSocketAndTheStatus)
{
    const struct
    {
        bool active;
        const char *status;
        const char *caption;
        bool pauseEnabled;
    } cases[] = {
        { true, "", "Pau&se", true },       // running
        { false, "", "Reprendre", true },   // paused
        { false, "0", "Reprendre", false }, // finished
        { true, "0", "Pau&se", false },     // finished while the menu was prepared
        { false, "1", "Reprendre", true },  // anything but "0" is unfinished
    };
    for (const auto &c : cases) {
        const auto s = TransferListRules::popupMenuState(c.active, QString::fromUtf8(c.status), QStringLiteral("x.avi"));
        EXPECT_EQ(s.pauseCaption, QString::fromUtf8(c.caption)) << c.active << c.status;
        EXPECT_EQ(s.pauseEnabled, c.pauseEnabled) << c.active << c.status;
        EXPECT_TRUE(s.lectureEnabled);
    }
    EXPECT_FALSE(TransferListRules::popupMenuState(true, QString(), QStringLiteral("x.AVI")).lectureEnabled);
}

TEST(TransferListRules, WheelMovesAFifthOfTheDeltaTowardTheTopWhenTurnedAway)
{
    const struct
    {
        int delta, scroll;
    } cases[] = { { 120, -24 }, { -120, 24 }, { 240, -48 }, { 7, -1 }, { -7, 1 }, { 4, 0 }, { -4, 0 } };
    for (const auto &c : cases)
        EXPECT_EQ(TransferListRules::wheelScroll(c.delta), c.scroll) << c.delta;
}

TEST(TransferListRules, GradientsRunFromTopColourTowardBottomColour)
{
    const auto rgb = [](const QImage &img, int y) {
        const QColor c = img.pixelColor(10, y);
        return std::tuple(c.red(), c.green(), c.blue());
    };
    const QImage normal = TransferListRules::background(QSize(489, 75), false);
    const QImage lit = TransferListRules::background(QSize(489, 75), true);
    EXPECT_EQ(rgb(normal, 0), std::tuple(247, 238, 184));
    EXPECT_EQ(rgb(lit, 0), std::tuple(202, 190, 126));
    // The last row is one step short of the bottom colour.
    const auto [r, g, b] = rgb(normal, 74);
    EXPECT_NEAR(r, 226, 1);
    EXPECT_NEAR(g, 214, 1);
    EXPECT_NEAR(b, 148, 1);
    const auto [lr, lg, lb] = rgb(lit, 74);
    EXPECT_NEAR(lr, 247, 1);
    EXPECT_NEAR(lg, 238, 1);
    EXPECT_NEAR(lb, 184, 1);
}

// KillTel and "Nettoyer" on a stack of names: remove, then close up the
// panels from the removed position on.
struct Stack
{
    QStringList names;
    QStringList statuses;
    QHash<QString, int> tops;
    int scroll = 0;

    void kill(int p)
    {
        names.removeAt(p);
        statuses.removeAt(p);
        for (int i = p; i < names.size(); ++i)
            tops[names.at(i)] = TransferListRules::panelTop(i, scroll);
    }
    void place()
    {
        for (int i = 0; i < names.size(); ++i)
            tops[names.at(i)] = TransferListRules::panelTop(i, scroll);
    }
};

TEST(TransferListRules, CancelClosesTheStackUpBy78)
{
    Stack s{ { "a", "b", "c" }, { "", "", "" }, {} };
    s.scroll = 10;
    s.place();
    EXPECT_EQ(s.tops.value("c"), 146);
    s.kill(1);
    EXPECT_EQ(s.tops.value("c"), 68);
    EXPECT_EQ(s.names, QStringList({ "a", "c" }));
}

TEST(TransferListRules, NettoyerRemovesOnlyFinishedTransfersLastFirst)
{
    const struct
    {
        QStringList statuses;
        QList<int> removed;
    } cases[] = {
        { { "0", "", "0" }, { 2, 0 } },
        { { "", "", "" }, {} },
        { { "0", "0" }, { 1, 0 } },
        { {}, {} },
        { { "1", " 0", "0 " }, {} },
    };
    for (const auto &c : cases)
        EXPECT_EQ(TransferListRules::finishedFromLast(c.statuses), c.removed) << c.statuses.join(u'|').toStdString();

    Stack s{ { "a", "b", "c" }, { "0", "", "0" }, {} };
    s.place();
    for (int p : TransferListRules::finishedFromLast(s.statuses))
        s.kill(p);
    EXPECT_EQ(s.names, QStringList({ "b" }));
    EXPECT_EQ(s.tops.value("b"), 0);
}

TEST(TransferHighlight, LeftClicksToggleAndMoveTheHighlight)
{
    using B = TransferHighlight::Button;
    const QStringList list = { "Tel1", "Tel2", "Tel3" };
    TransferHighlight h;

    auto c = h.mouseUp(list, "Tel1", B::Left);
    EXPECT_EQ(c.repaintHighlighted, QStringLiteral("Tel1"));
    EXPECT_TRUE(c.repaintNormal.isEmpty());
    EXPECT_EQ(h.selection(), QStringLiteral("Tel1"));
    EXPECT_FALSE(c.openMenu);

    c = h.mouseUp(list, "Tel3", B::Left);
    EXPECT_EQ(c.repaintNormal, QStringList({ "Tel1" }));
    EXPECT_EQ(c.repaintHighlighted, QStringLiteral("Tel3"));
    EXPECT_FALSE(h.isHighlighted("Tel1"));
    EXPECT_EQ(h.selection(), QStringLiteral("Tel3"));

    c = h.mouseUp(list, "Tel3", B::Left);
    EXPECT_EQ(c.repaintNormal, QStringList({ "Tel3" }));
    EXPECT_TRUE(c.repaintHighlighted.isEmpty());
    EXPECT_FALSE(h.isHighlighted("Tel3"));
    EXPECT_TRUE(h.selection().isEmpty());
}

TEST(TransferHighlight, RightClickSelectsIfNeededAndOpensTheMenuOnce)
{
    using B = TransferHighlight::Button;
    for (int count : { 1, 2, 5 }) {
        QStringList list;
        for (int i = 0; i < count; ++i)
            list << QStringLiteral("Tel%1").arg(i);
        TransferHighlight h;
        h.mouseUp(list, list.first(), B::Left);
        auto c = h.mouseUp(list, list.last(), B::Right);
        EXPECT_TRUE(c.openMenu) << count;
        EXPECT_EQ(h.selection(), list.last()) << count;
        // Already highlighted: the right button keeps it so and opens again.
        c = h.mouseUp(list, list.last(), B::Right);
        EXPECT_TRUE(c.openMenu);
        EXPECT_TRUE(c.repaintNormal.isEmpty());
        EXPECT_TRUE(h.isHighlighted(list.last()));
    }
}

TEST(TransferHighlight, SelectionOutlivesTheRemovedPanelUntilTheNextClick)
{
    using B = TransferHighlight::Button;
    TransferHighlight h;
    h.mouseUp({ "Tel1", "Tel2" }, "Tel2", B::Left);
    h.forget("Tel2");
    EXPECT_EQ(h.selection(), QStringLiteral("Tel2"));
    h.mouseUp({ "Tel1" }, "Tel1", B::Left);
    EXPECT_EQ(h.selection(), QStringLiteral("Tel1"));
}

class TransferPropertiesFrench : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::French, QLocale::France)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TransferRecord sample()
{
    TransferRecord r;
    r.IDTel = QStringLiteral("42") + kStamp;
    r.FichierName = QStringLiteral("clip.mp3");
    r.FichierProprio = QStringLiteral("Zoé");
    r.FichierPath = QStringLiteral("/home/alice/Musique/clip.mp3");
    r.FichierPoids = QStringLiteral("1048576");
    r.FichierTel = 2048;
    r.Port = 2012;
    return r;
}

TEST_F(TransferPropertiesFrench, PropertiesRowsOfADownloadAndAnUpload)
{
    TransferRecord r = sample();
    TransferProperties p = TransferProperties::of(r, true, QString());
    EXPECT_EQ(p.sourceCaption, QStringLiteral("Source :"));
    EXPECT_EQ(p.source, QStringLiteral("Zoé"));
    EXPECT_EQ(p.taille, QStringLiteral("1,0 Mo (1048576 octets)"));
    EXPECT_EQ(p.tailleTel, QStringLiteral("2 Ko (2048 octets)"));
    EXPECT_EQ(p.debutTel, QStringLiteral("25/12/2026 14:30"));
    EXPECT_EQ(p.emplacement, QStringLiteral("/home/alice/Musique/"));
    EXPECT_EQ(p.port, QStringLiteral("2012"));
    EXPECT_EQ(p.idTel, r.IDTel);

    // A download whose partial file was missing at load counts nothing.
    r.FichierTel = 0;
    p = TransferProperties::of(r, false, QStringLiteral("10.0.0.2"));
    EXPECT_EQ(p.sourceCaption, QStringLiteral("Vers :"));
    EXPECT_EQ(p.tailleTel, QStringLiteral("0 octet (0 octets)"));
    EXPECT_EQ(p.ip, QStringLiteral("10.0.0.2"));

    // Files of 2 GiB and more show their real sizes.
    r.FichierPoids = QStringLiteral("5368709120");
    r.FichierTel = 3221225472;
    p = TransferProperties::of(r, true, QString());
    EXPECT_EQ(p.taille, QStringLiteral("5120,0 Mo (5368709120 octets)"));
    EXPECT_EQ(p.tailleTel, QStringLiteral("3072,0 Mo (3221225472 octets)"));

    r.FichierPoids = QStringLiteral("12k");
    EXPECT_THROW(TransferProperties::of(r, true, QString()), VoxlaneError);
}

TEST_F(TransferPropertiesFrench, PropertiesWindowShowsEveryRowAndOnlyOkActs)
{
    QWidget main;
    main.setGeometry(100, 100, 800, 600);
    TfrmPropriete w(&main);
    QImage avatar(128, 64, QImage::Format_RGB32);
    avatar.fill(Qt::red);
    QPixmap icon(32, 32);
    icon.fill(Qt::blue);
    w.showProperties(TransferProperties::of(sample(), true, QString()), icon, avatar);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isModal());
    EXPECT_EQ(w.txtFileName->text(), QStringLiteral("clip.mp3"));
    EXPECT_TRUE(w.txtFileName->isReadOnly());
    EXPECT_EQ(w.lblSourceCaption->text(), QStringLiteral("Source :"));
    EXPECT_EQ(w.lblTaille->text(), QStringLiteral("1,0 Mo (1048576 octets)"));
    EXPECT_EQ(w.lblDebutTel->text(), QStringLiteral("25/12/2026 14:30"));
    EXPECT_EQ(w.lblEmplacement->text(), QStringLiteral("/home/alice/Musique/"));
    EXPECT_EQ(w.lblPort->text(), QStringLiteral("2012"));
    EXPECT_FALSE(w.lblIP->isVisible());
    EXPECT_FALSE(w.lblIDTel->isVisible());
    EXPECT_EQ(w.lblIDTel->text(), sample().IDTel);
    // The avatar keeps its proportions within 64 x 64.
    EXPECT_EQ(w.imgAvatar->pixmap().size(), QSize(64, 32));
    EXPECT_FALSE(w.btnPause_Re->isEnabled());
    EXPECT_FALSE(w.btnCancelTel->isEnabled());

    // Choosing "Propriétés" again replaces the content of the open window.
    TransferRecord other = sample();
    other.FichierName = QStringLiteral("autre.avi");
    w.showProperties(TransferProperties::of(other, false, QString()), QPixmap(), QImage());
    EXPECT_EQ(w.txtFileName->text(), QStringLiteral("autre.avi"));
    EXPECT_EQ(w.lblSourceCaption->text(), QStringLiteral("Vers :"));

    // Long sizes stay whole and left of the avatar, whatever the font.
    other.FichierPoids = QStringLiteral("5368709120");
    other.FichierTel = 3221225472;
    w.showProperties(TransferProperties::of(other, true, QString()), QPixmap(), QImage());
    QCoreApplication::processEvents();
    for (QLabel *size : { w.lblTaille, w.lblTailleTel }) {
        SCOPED_TRACE(size->text().toStdString());
        const QRect area = size->contentsRect();
        const QRect needed = size->fontMetrics().boundingRect(area, Qt::TextWordWrap, size->text());
        EXPECT_LE(needed.width(), area.width());
        EXPECT_LE(needed.height(), area.height());
        EXPECT_LT(size->mapTo(&w, QPoint(size->width(), 0)).x(), w.pnAvatar->x());
    }
    EXPECT_LE(w.lblPort->mapTo(&w, QPoint(0, w.lblPort->height())).y(), w.btnOK->y());

    w.btnOK->Click();
    EXPECT_FALSE(w.isVisible());
}

} // namespace
