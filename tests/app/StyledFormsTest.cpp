// The styled controls as the forms place them, checked on the pictures the
// forms really paint: colours, frames and captions at a few pixels.
#include "app/ui/TfrmAbout.h"
#include "app/ui/TfrmMsgBox.h"
#include "app/ui/TfrmPrincipal.h"
#include "components/RbDrawCore.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbCheckBox.h"
#include "components/ui/TRbPanel.h"
#include "components/ui/TRbProgressBar.h"
#include "components/ui/TRbRadioButton.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/ui/TfrmNewContact.h"
#include "negotiation/ui/TfrmReception.h"
#include "support/MainWindowFixture.h"
#include "transfer/ui/TfrmPropriete.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

QRgb rgbOf(quint32 c)
{
    return RbDrawCore::toQColor(c).rgb();
}

int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

class StyledForms : public MainWindowFixture
{
};

TEST_F(StyledForms, PopUpFramesItsPictureWithTheStyledPanel)
{
    TestClient &w = createWindow();
    const QList<QWidget *> before = QApplication::topLevelWidgets();
    w.window->NewMsgBox(QStringLiteral("Telechargement"), QStringLiteral("terminé"), 2);
    TfrmMsgBox *box = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *b = qobject_cast<TfrmMsgBox *>(top); b && !before.contains(top))
            box = b;
    ASSERT_NE(box, nullptr);
    box->Moteur->stop();

    TRbPanel *panel = box->RbPanel3;
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(9, 62, 42, 42));
    EXPECT_EQ(panel->Color(), 12250871u);
    EXPECT_EQ(panel->CornerWidth(), 10);
    EXPECT_EQ(panel->BorderWidth(), 2);
    EXPECT_EQ(panel->BorderColor(), 5163486u);
    EXPECT_TRUE(panel->Antialiased());
    EXPECT_EQ(box->imgAvatar->parentWidget(), panel);

    const QImage shot = box->grab().toImage();
    const QPoint origin = panel->pos();
    // Left of the kind icon the face shows; the left edge is the border;
    // the corner takes the pop-up's background.
    EXPECT_EQ(shot.pixel(origin + QPoint(4, 21)), rgbOf(12250871));
    const QRgb edge = shot.pixel(origin + QPoint(0, 21));
    EXPECT_LT(distance(edge, rgbOf(5163486)), distance(edge, rgbOf(12250871)));
    EXPECT_EQ(shot.pixel(origin), rgbOf(panel->OuterColor()));
    EXPECT_LT(
        distance(shot.pixel(origin), shot.pixel(origin + QPoint(-2, 0))), 16); // blends with the gradient
    box->btnCloseClick();
}

TEST_F(StyledForms, AboutBoxOkIsADefaultStyledButtonThatCloses)
{
    TfrmAbout about;
    auto *ok = about.findChild<TRbButton *>(QStringLiteral("btnOK"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->Caption(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->Default());
    EXPECT_EQ(ok->Colors().DefaultFrom(), 10346217u);
    EXPECT_EQ(ok->Colors().OverTo(), 10346217u);
    EXPECT_EQ(ok->size(), QSize(75, 25));

    QSignalSpy finished(&about, &QDialog::finished);
    about.show();
    QApplication::setActiveWindow(&about);
    QTest::keyClick(&about, Qt::Key_Return);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), int(QDialog::Accepted));

    about.show();
    const QImage face = ok->grab().toImage();
    EXPECT_EQ(face.pixel(37, 0), rgbOf(8421504)); // grey rounded border
    EXPECT_EQ(face.pixel(5, 1), ok->NormalImage().pixel(4, 0)); // gradient shifted one pixel in
}

// How many pixels of a picture are clearly of one hue: text drawn in a
// colour leaves many such pixels, a grey or gradient face none.
int pixelsLike(const QImage &img, const std::function<bool(QRgb)> &like)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += like(img.pixel(x, y)) ? 1 : 0;
    return n;
}

bool reddish(QRgb c)
{
    return qRed(c) > 160 && qGreen(c) < 90 && qBlue(c) < 90;
}

bool greenish(QRgb c)
{
    return qGreen(c) > 90 && qRed(c) < 60 && qBlue(c) < 60;
}

TEST_F(StyledForms, InfoBarLoadingBarShowsItsPercentageOverTheGradient)
{
    TestClient &w = createWindow();
    TRbProgressBar *bar = w.pBarLoading;
    ASSERT_EQ(bar->parentWidget(), w.pnInfo);
    EXPECT_EQ(bar->geometry(), QRect(104, 84, 150, 16));
    bar->setMax(200);
    bar->setPosition(50);
    EXPECT_EQ(bar->Text(), QStringLiteral("25%"));

    const QImage shot = bar->grab().toImage();
    // Grey border lines all round; the filled quarter shows the cached
    // gradient; beyond it the bar's background.
    EXPECT_EQ(shot.pixel(75, 0), rgbOf(0x808080));
    EXPECT_EQ(shot.pixel(0, 8), rgbOf(0x808080));
    EXPECT_EQ(shot.pixel(10, 3), bar->CurrentFrame().pixel(10, 3));
    EXPECT_LT(distance(shot.pixel(10, 3), rgbOf(bar->DefaultFrom())),
        distance(shot.pixel(10, 3), rgbOf(bar->Color())));
    EXPECT_EQ(shot.pixel(130, 3), rgbOf(bar->Color()));

    TRbButton *cancel = w.btnCancelTrans;
    EXPECT_EQ(cancel->parentWidget(), w.pnInfo);
    EXPECT_EQ(cancel->Caption(), QStringLiteral("Annuler"));
    EXPECT_EQ(cancel->Colors().DefaultFrom(), 10346217u);
    EXPECT_LE(cancel->geometry().right(), w.pnInfo->width());
}

TEST_F(StyledForms, ConfirmationWindowButtonsKeepTheirColouredCaptions)
{
    TfrmReception r;
    r.show();
    TRbButton *refuse = r.btnRefuser;
    TRbButton *accept = r.btnAccepter;
    EXPECT_LT(refuse->x(), accept->x());
    EXPECT_EQ(refuse->Caption(), QStringLiteral("Refuser"));
    EXPECT_EQ(accept->Caption(), QStringLiteral("Accepter"));
    for (TRbButton *b : { refuse, accept }) {
        EXPECT_EQ(b->Color(), 10740718u);
        EXPECT_EQ(b->Colors().DefaultFrom(), 10346217u);
        EXPECT_EQ(b->Colors().DefaultTo(), 13561844u);
    }

    const QImage shot = r.grab().toImage();
    const QImage refuseShot = shot.copy(refuse->geometry());
    const QImage acceptShot = shot.copy(accept->geometry());
    // The corner outside the rounded border is the window's colour.
    EXPECT_EQ(refuseShot.pixel(0, 0), rgbOf(10740718));
    EXPECT_EQ(acceptShot.pixel(acceptShot.width() / 2, 0), rgbOf(0x808080));
    EXPECT_GT(pixelsLike(refuseShot, reddish), 10);
    EXPECT_EQ(pixelsLike(refuseShot, greenish), 0);
    EXPECT_GT(pixelsLike(acceptShot, greenish), 10);
    EXPECT_EQ(pixelsLike(acceptShot, reddish), 0);

    QSignalSpy refused(refuse, &TRbButton::OnClick);
    QTest::mouseClick(refuse, Qt::LeftButton);
    EXPECT_EQ(refused.count(), 1);
}

TEST_F(StyledForms, ContactPageOkHasThePanelsFaceInItsCorners)
{
    TestClient &w = createWindow();
    w.PageControl->setCurrentWidget(w.contactPage);
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window));
    ASSERT_EQ(w.btnPseudoOK->parentWidget(), w.grpAddContact);
    EXPECT_EQ(w.grpAddContact->Caption(), QStringLiteral(" Ajout d'un contact "));

    const QImage shot = w.btnPseudoOK->grab().toImage();
    const QRgb panelFace = qRgb(223, 223, 227); // 0xE3DFDF
    EXPECT_EQ(rgbOf(w.grpAddContact->Color()), panelFace);
    for (const QPoint corner : { QPoint(0, 0), QPoint(shot.width() - 1, 0), QPoint(0, shot.height() - 1),
             QPoint(shot.width() - 1, shot.height() - 1) })
        EXPECT_EQ(shot.pixel(corner), panelFace) << corner.x() << ',' << corner.y();
    // The grey rounded border and the face are still the button's.
    EXPECT_EQ(shot.pixel(shot.width() / 2, 0), rgbOf(0x808080));
}

TEST_F(StyledForms, RequestWindowAnswersAreStyledRadioButtons)
{
    TfrmNewContact window;
    window.show();
    EXPECT_FALSE(window.rbOK->Checked());
    EXPECT_FALSE(window.rbNo->Checked());
    EXPECT_TRUE(window.btnPseudoOK->Default());

    QTest::mouseClick(window.rbNo, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_TRUE(window.rbNo->Checked());
    QTest::mouseClick(window.rbOK, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_TRUE(window.rbOK->Checked());
    EXPECT_FALSE(window.rbNo->Checked());

    // Enter anywhere in the window presses the default "OK".
    QSignalSpy ok(window.btnPseudoOK, &TRbButton::OnClick);
    QApplication::setActiveWindow(&window);
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(ok.count(), 1);

    // The ring: grey at the circle's left edge, the face inside.
    const QImage shot = window.rbNo->grab().toImage();
    const QRect circle = window.rbNo->CircleRect();
    const QRgb edge = shot.pixel(circle.left(), circle.center().y());
    const QRgb face = shot.pixel(circle.center().x() - 3, circle.center().y() - 3);
    EXPECT_LT(distance(edge, rgbOf(0x808080)), distance(face, rgbOf(0x808080)));
}

TEST_F(StyledForms, CardIsAGradientPanelWithItsCaption)
{
    TfrmCard card;
    TRbPanel *panel = card.RbPanel4;
    EXPECT_EQ(panel->Caption(), QStringLiteral("Carte de visite"));
    EXPECT_EQ(panel->CaptionPosition(), cpTopLeft);
    EXPECT_FALSE(panel->Antialiased());
    EXPECT_TRUE(panel->Gradient()); // set after the smoothing went off
    EXPECT_EQ(panel->CornerWidth(), 10);
    EXPECT_EQ(panel->BorderWidth(), 2);
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 259, 147));

    const QImage shot = panel->grab().toImage();
    EXPECT_EQ(shot.pixel(130, 0), rgbOf(0x808080));
    // Top of the face near 14086904, bottom near 10740718.
    const QRgb top = shot.pixel(200, 4);
    const QRgb bottom = shot.pixel(120, 140);
    EXPECT_LT(distance(top, rgbOf(14086904)), distance(top, rgbOf(10740718)));
    EXPECT_LT(distance(bottom, rgbOf(10740718)), distance(bottom, rgbOf(14086904)));
    EXPECT_LT(distance(bottom, rgbOf(10740718)), 12);
    // The caption is written in the panel's font colour in the corner.
    EXPECT_GT(pixelsLike(shot.copy(0, 0, 120, 20),
                  [](QRgb c) { return qBlue(c) > 150 && qRed(c) < 80 && qGreen(c) < 80; }),
        5);
}

TEST_F(StyledForms, PropertiesWindowFramesTheAvatarAndDisablesItsActions)
{
    TfrmPropriete p;
    EXPECT_EQ(p.pnAvatar->CornerWidth(), 10);
    EXPECT_EQ(p.pnAvatar->BorderWidth(), 2);
    EXPECT_EQ(p.imgAvatar->parentWidget(), p.pnAvatar);
    EXPECT_FALSE(p.btnPause_Re->isEnabled());
    EXPECT_FALSE(p.btnCancelTel->isEnabled());
    EXPECT_TRUE(p.btnOK->Default());
    EXPECT_EQ(p.btnPause_Re->Caption(), QStringLiteral("Pause"));
    EXPECT_EQ(p.btnCancelTel->Caption(), QStringLiteral("Annuler"));

    p.show();
    const QImage shot = p.grab().toImage();
    // Enter closes the window through its default "OK".
    QApplication::setActiveWindow(&p);
    QTest::keyClick(&p, Qt::Key_Return);
    EXPECT_FALSE(p.isVisible());
    const QPoint panel = p.pnAvatar->pos();
    const QRgb edge = shot.pixel(panel + QPoint(0, 40));
    EXPECT_LT(distance(edge, rgbOf(0x808080)), distance(edge, rgbOf(p.pnAvatar->Color())));
    // Disabled captions are etched in the system's shadow colour, not black.
    const QImage pause = shot.copy(p.btnPause_Re->geometry());
    EXPECT_EQ(pixelsLike(pause, [](QRgb c) { return qRed(c) < 30 && qGreen(c) < 30 && qBlue(c) < 30; }), 0);
}

TEST_F(StyledForms, ContactPageGroupOpensItsFrameUnderTheCaption)
{
    TestClient &w = createWindow();
    TRbPanel *group = w.grpAddContact;
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->Caption(), QStringLiteral(" Ajout d'un contact "));
    EXPECT_EQ(group->CaptionPosition(), cpGroupBox);
    EXPECT_EQ(w.btnPseudoOK->parentWidget(), group);
    EXPECT_EQ(w.txtAddPseudo->parentWidget(), group);
    // The children sit below the caption, inside the frame.
    const QRect client = group->ClientArea();
    for (QWidget *child : { static_cast<QWidget *>(w.txtAddPseudo), static_cast<QWidget *>(w.btnPseudoOK) })
        EXPECT_TRUE(client.contains(child->geometry())) << child->objectName().toStdString();

    const QImage shot = group->grab().toImage();
    const int h = QFontMetrics(group->font()).height() / 2;
    // Far right of the caption the top frame line is drawn; under the
    // caption's leading blank it is open.
    int lineY = -1;
    for (int y = 0; y < 3 * h && lineY < 0; ++y)
        if (distance(shot.pixel(group->width() / 2 + 150, y), rgbOf(group->BorderColor())) < 60)
            lineY = y;
    ASSERT_GE(lineY, 0);
    EXPECT_EQ(shot.pixel(group->CaptionRect().left() + 1, lineY), rgbOf(group->OuterColor()));
}

TEST_F(StyledForms, SoundOptionIsAStyledCheckBox)
{
    TestClient &w = createWindow();
    TRbCheckBox *box = w.ckPlaySound;
    EXPECT_EQ(box->Caption(), QStringLiteral("Emettre un son lors d'un évenement"));
    EXPECT_FALSE(box->Checked());
    const QImage plain = box->grab().toImage();
    box->Click();
    EXPECT_TRUE(box->Checked());
    const QImage ticked = box->grab().toImage();
    const QRect mark = box->BoxRect().adjusted(2, 2, -3, -3);
    EXPECT_EQ(pixelsLike(plain.copy(mark), greenish), 0);
    EXPECT_GT(pixelsLike(ticked.copy(mark), greenish), 3);
}

} // namespace
