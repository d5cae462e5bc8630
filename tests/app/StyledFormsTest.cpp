// The styled controls as the forms place them: the pop-up's picture frame
// and the About box's OK button.
#include "app/ui/TfrmAbout.h"
#include "app/ui/TfrmMsgBox.h"
#include "app/ui/TfrmPrincipal.h"
#include "components/RbDrawCore.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbPanel.h"
#include "support/MainWindowFixture.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

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
    TfrmPrincipal &w = createWindow();
    const QList<QWidget *> before = QApplication::topLevelWidgets();
    w.NewMsgBox(QStringLiteral("Telechargement"), QStringLiteral("terminé"), 2);
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

} // namespace
