#include "components/ui/TRbButton.h"
#include "components/ui/TRbCheckBox.h"
#include "components/ui/TRbPanel.h"
#include "components/ui/TRbProgressBar.h"
#include "components/ui/TRbRadioButton.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QRgb rgbOf(quint32 c)
{
    return RbDrawCore::toQColor(c).rgb();
}

TEST(TRbButton, GroupedButtonsKeepOneDownAndReleaseOnlyWithAllowAllUp)
{
    QWidget parent;
    auto *first = new TRbButton(&parent);
    auto *second = new TRbButton(&parent);
    auto *other = new TRbButton(&parent); // another group
    first->setGroupIndex(1);
    second->setGroupIndex(1);
    other->setGroupIndex(2);
    other->setDown(true);

    first->Click();
    EXPECT_TRUE(first->Down());
    second->Click();
    EXPECT_TRUE(second->Down());
    EXPECT_FALSE(first->Down());
    EXPECT_TRUE(other->Down());
    second->Click(); // the only one down in its group: stays down
    EXPECT_TRUE(second->Down());

    second->setAllowAllUp(true);
    second->Click();
    EXPECT_FALSE(second->Down());

    // An ungrouped button is never down.
    TRbButton plain;
    plain.setDown(true);
    EXPECT_FALSE(plain.Down());
}

TEST(TRbButton, MouseClickInsideFiresOnClickAndSetsTheModalResult)
{
    QDialog dialog;
    auto *ok = new TRbButton(&dialog);
    ok->setCaption(QStringLiteral("OK"));
    ok->setModalResult(QDialog::Accepted);
    QSignalSpy clicks(ok, &TRbCustomControl::OnClick);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QTest::mouseClick(ok, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks.count(), 1);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    EXPECT_TRUE(ok->hasFocus() || !dialog.isVisible());

    // A press released outside the button is no click.
    TRbButton lone;
    lone.show();
    QSignalSpy loneClicks(&lone, &TRbCustomControl::OnClick);
    QTest::mousePress(&lone, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&lone, Qt::LeftButton, {}, QPoint(200, 5));
    EXPECT_EQ(loneClicks.count(), 0);
}

TEST(TRbButton, KeysSpaceEnterDefaultAndEscapeCancel)
{
    QWidget window;
    auto *edit = new QLineEdit(&window);
    auto *okButton = new TRbButton(&window);
    auto *cancelButton = new TRbButton(&window);
    auto *focused = new TRbButton(&window);
    okButton->setDefault(true);
    cancelButton->setCancel(true);
    QSignalSpy ok(okButton, &TRbCustomControl::OnClick);
    QSignalSpy cancel(cancelButton, &TRbCustomControl::OnClick);
    QSignalSpy own(focused, &TRbCustomControl::OnClick);
    window.show();
    QApplication::setActiveWindow(&window);

    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(ok.count(), 1);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(cancel.count(), 1);
    QTest::keyClick(edit, Qt::Key_Escape, Qt::ShiftModifier); // with a modifier: not the cancel key
    EXPECT_EQ(cancel.count(), 1);

    // The focused button answers Enter and Space itself; the default one does not.
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key_Return);
    QTest::keyClick(focused, Qt::Key_Space);
    EXPECT_EQ(own.count(), 2);
    EXPECT_EQ(ok.count(), 1);

    // A disabled cancel button cannot take the focus, so Escape passes it by.
    cancelButton->setEnabled(false);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(cancel.count(), 1);
}

TEST(TRbButton, FrameIsCachedUntilSizeStateOrColoursChange)
{
    TRbButton button;
    button.resize(80, 26);
    button.CurrentFrame();
    const int first = button.FrameRenders();
    button.CurrentFrame();
    button.CurrentFrame();
    EXPECT_EQ(button.FrameRenders(), first); // hits

    button.Colors().setDefaultFrom(0x0000FF);
    button.CurrentFrame();
    EXPECT_EQ(button.FrameRenders(), first + 1); // a colour: miss
    button.Fade().OverFade = 50;
    button.CurrentFrame();
    EXPECT_EQ(button.FrameRenders(), first + 2); // a fade level: miss
    button.resize(90, 26);
    button.CurrentFrame();
    EXPECT_EQ(button.FrameRenders(), first + 3); // a size: miss
    button.CurrentFrame();
    EXPECT_EQ(button.FrameRenders(), first + 3);
}

TEST(TRbButton, PixelsOfTheFaceBorderAndPress)
{
    TRbButton button;
    button.resize(75, 25);
    button.setShowCaption(false);
    button.Colors().setDefaultFrom(10346217);
    button.Colors().setDefaultTo(13561844);
    button.Colors().setOverFrom(13561844);
    button.Colors().setOverTo(10346217);
    QImage frame = button.CurrentFrame();
    // The normal gradient starts one pixel in: row 1 shows its first row.
    EXPECT_EQ(frame.pixel(30, 1), rgbOf(10346217));
    EXPECT_EQ(frame.pixel(30, 0), rgbOf(8421504)); // grey border
    EXPECT_EQ(frame.pixel(30, 24), rgbOf(8421504));
    EXPECT_NE(frame.pixel(30, 20), frame.pixel(30, 2)); // a gradient

    button.Fade().OverFade = 100;
    frame = button.CurrentFrame();
    // Fully the Over look, which is not shifted: row 1 shows its row 1.
    const QRgb overRow1 = button.OverImage().pixel(30, 1);
    EXPECT_EQ(frame.pixel(30, 1), overRow1);
    EXPECT_NE(overRow1, button.NormalImage().pixel(30, 0));

    // Pressed: the face inside the 3-pixel border is the Clicked gradient.
    button.Fade().ClickFade = 100;
    frame = button.CurrentFrame();
    EXPECT_EQ(frame.pixel(30, 3), rgbOf(13029334));
    EXPECT_EQ(frame.pixel(30, 1), overRow1); // the border band keeps the Over look
}

TEST(TRbButton, GlyphLayoutsPlaceTheGlyphBesideTheCaption)
{
    QImage glyph(8, 8, QImage::Format_RGB32);
    glyph.fill(qRgb(255, 255, 255)); // the transparent colour (bottom-left)
    for (int y = 1; y < 7; ++y)
        for (int x = 1; x < 7; ++x)
            glyph.setPixel(x, y, qRgb(255, 0, 0));
    struct Case
    {
        TButtonLayout layout;
        QPoint inside; // a pixel the glyph must cover, without a caption
    };
    // 80 x 40 button, spacing 2, no caption.
    // Left: R.Left = 10, x = (10 + 80 - 2) / 2 - 8 = 36; y = 16.
    // Right: R.Right = 70, x = (0 + 70) / 2 + 2 = 37.
    // Top: R.Top = 10, y = (10 + 40) / 2 - 2 - 8 = 15; x = 36.
    // Bottom: R.Bottom = 30, y = 30 / 2 + 2 = 17.
    const Case cases[] = {
        { blGlyphLeft, { 36 + 3, 16 + 3 } },
        { blGlyphRight, { 37 + 3, 16 + 3 } },
        { blGlyphTop, { 36 + 3, 15 + 3 } },
        { blGlyphBottom, { 36 + 3, 17 + 3 } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.layout));
        TRbButton button;
        button.resize(80, 40);
        button.setGlyph(glyph);
        button.setLayout(c.layout);
        const QImage frame = button.CurrentFrame();
        EXPECT_EQ(frame.pixel(c.inside), qRgb(255, 0, 0));
        EXPECT_NE(frame.pixel(c.inside + QPoint(-3, -3)), qRgb(255, 255, 255)); // transparent corner
    }

    // With a caption the glyph moves left of the text.
    TRbButton withText;
    withText.resize(120, 30);
    withText.setGlyph(glyph);
    withText.setCaption(QStringLiteral("Envoyer"));
    const QImage frame = withText.CurrentFrame();
    int glyphX = -1;
    for (int x = 0; x < 120 && glyphX < 0; ++x)
        if (frame.pixel(x, 15) == qRgb(255, 0, 0))
            glyphX = x;
    const int tw = QFontMetrics(withText.font()).horizontalAdvance(QStringLiteral("Envoyer"));
    EXPECT_EQ(glyphX, (10 + 120 - tw) / 2 - 2 - 8 + 1);
}

TEST(TRbButton, HotFadeRunsOnTheWindowTimerAndStops)
{
    TRbButton button;
    button.show();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&button, &enter);
    EXPECT_TRUE(button.IsHot());
    EXPECT_TRUE(button.FadeRunning());
    // Waits on the state, never on a duration.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !button.FadeRunning(); }, 5000));
    EXPECT_EQ(button.OverFade(), 100);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !button.FadeRunning(); }, 5000));
    EXPECT_EQ(button.OverFade(), 0);
}

TEST(TRbCheckBox, BoxPositionAndCheckedBeforeOnClick)
{
    TRbCheckBox box;
    box.resize(130, 17);
    EXPECT_EQ(box.BoxRect(), QRect(1, 1, 13, 13));
    bool seen = false;
    QObject::connect(&box, &TRbCustomControl::OnClick, &box, [&] { seen = box.Checked(); });
    box.show();
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_TRUE(box.Checked());
    EXPECT_TRUE(seen);
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Space);
    EXPECT_FALSE(box.Checked());

    // The check mark, tinted green, shows only when checked.
    box.clearFocus();
    auto countGreen = [](const QImage &f) {
        int n = 0;
        for (int y = 2; y < 13; ++y)
            for (int x = 2; x < 13; ++x)
                n += qGreen(f.pixel(x, y)) > 100 && qRed(f.pixel(x, y)) < 60 && qBlue(f.pixel(x, y)) < 60;
        return n;
    };
    EXPECT_EQ(countGreen(box.CurrentFrame()), 0);
    box.setChecked(true);
    EXPECT_GT(countGreen(box.CurrentFrame()), 5);
    EXPECT_EQ(box.CurrentFrame().pixel(1, 1), rgbOf(8421504)); // box outline
}

TEST(TRbRadioButton, CheckingOneUnchecksItsSiblingsOnly)
{
    QWidget parent, elsewhere;
    auto *a = new TRbRadioButton(&parent);
    auto *b = new TRbRadioButton(&parent);
    auto *c = new TRbRadioButton(&elsewhere);
    c->setChecked(true);
    a->setChecked(true);
    b->setChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->Checked());
    EXPECT_TRUE(c->Checked());
    b->setChecked(false); // touches no other button
    EXPECT_FALSE(a->Checked());

    parent.show();
    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_TRUE(a->Checked());
    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(5, 8)); // a checked one stays checked
    EXPECT_TRUE(a->Checked());

    // Ring sizes and the smooth ring's outer pixels.
    const std::pair<TRadioSize, int> sizes[] = { { rsSmall, 11 }, { rsMedium, 13 }, { rsLarge, 15 } };
    for (auto [size, side] : sizes) {
        a->setRadioType(size);
        EXPECT_EQ(a->NormalImage().size(), QSize(side, side));
        EXPECT_EQ(a->CircleRect().size(), QSize(side, side));
    }
    const QImage ring = a->NormalImage();
    EXPECT_EQ(ring.pixel(0, 0), rgbOf(a->Color())); // outside the circle
    EXPECT_NE(ring.pixel(7, 0), rgbOf(a->Color())); // on the ring
}

TEST(TRbProgressBar, TextFillAndRefusedSettings)
{
    TRbProgressBar bar;
    bar.resize(200, 16);
    bar.setFontColor(0x000000);
    bar.setMax(200);
    bar.setPosition(50);
    EXPECT_EQ(bar.Text(), QStringLiteral("25%"));
    bar.setPosition(300);
    EXPECT_EQ(bar.Position(), 200);
    EXPECT_EQ(bar.Text(), QStringLiteral("100%"));
    bar.setMax(0);
    EXPECT_EQ(bar.Max(), 200);
    bar.setBorderWidth(8); // not below half the height
    EXPECT_EQ(bar.BorderWidth(), 1);

    bar.setShowText(false);
    bar.setPosition(100);
    const QImage frame = bar.CurrentFrame();
    // Border line, then the gradient up to x = 100 - 2, then the background.
    EXPECT_EQ(frame.pixel(50, 0), rgbOf(0x808080));
    QImage gradient = RbDrawCore::newBitmap(200, 16);
    RbDrawCore::GradientFill(gradient, gradient.rect(), 11966334, 14734025, gtVertical);
    EXPECT_EQ(frame.pixel(50, 2), gradient.pixel(50, 2)); // copied in place
    EXPECT_EQ(frame.pixel(150, 8), rgbOf(bar.Color()));
    EXPECT_NE(frame.pixel(97, 8), rgbOf(bar.Color()));
    EXPECT_EQ(frame.pixel(98, 8), rgbOf(bar.Color()));

    // The same percentage again is a cache hit.
    const int renders = bar.FrameRenders();
    bar.setPosition(101); // 50.5 % rounds to 50 %
    bar.CurrentFrame();
    EXPECT_EQ(bar.FrameRenders(), renders);
}

TEST(TRbPanel, AntialiasingExcludesGradientAndGroupBoxOpensItsFrame)
{
    TRbPanel panel;
    EXPECT_TRUE(panel.Antialiased());
    panel.setGradient(true);
    EXPECT_FALSE(panel.Gradient());
    panel.setAntialiased(false);
    EXPECT_FALSE(panel.Gradient());
    panel.setGradient(true);
    EXPECT_TRUE(panel.Gradient());
    panel.setAntialiased(true);
    EXPECT_FALSE(panel.Gradient());

    panel.setCornerWidth(-1);
    EXPECT_EQ(panel.CornerWidth(), 10);
    panel.setBorderWidth(0);
    EXPECT_EQ(panel.BorderWidth(), 2);

    panel.resize(200, 120);
    panel.setOuterColor(0xFFFFFF);
    panel.setCaption(QStringLiteral("Options"));
    panel.setCaptionPosition(cpGroupBox);
    const int h = QFontMetrics(panel.font()).height() / 2;
    EXPECT_EQ(panel.ClientArea(), QRect(3, 2 * h + 1, 194, 120 - (2 * h + 1) - 3));
    EXPECT_EQ(panel.contentsRect(), panel.ClientArea());
    const QImage frame = panel.CurrentFrame();
    // The frame's top line runs near y = h; under the caption it is open, to
    // its right it is drawn.
    const QRect caption = panel.CaptionRect();
    const int tw = QFontMetrics(panel.font()).horizontalAdvance(QStringLiteral("Options"));
    auto darkestInColumn = [&](int x) {
        int darkest = 255;
        for (int y = h - 1; y <= h + 2; ++y)
            darkest = std::min(darkest, qGreen(frame.pixel(x, y)));
        return darkest;
    };
    EXPECT_LT(darkestInColumn(caption.left() + tw + 40), 200);
    // Under the caption the grey line is gone: only the (blue) text remains.
    int lineRow = -1;
    for (int y = 0; y < h + 4 && lineRow < 0; ++y)
        if (qGreen(frame.pixel(caption.left() + tw + 40, y)) < 200)
            lineRow = y;
    ASSERT_GE(lineRow, 0);
    for (int x = caption.left(); x < caption.left() + tw; ++x) {
        const QRgb p = frame.pixel(x, lineRow);
        const bool grey = qRed(p) == qBlue(p) && qRed(p) < 200;
        EXPECT_FALSE(grey) << x;
    }

    // A plain caption position keeps the frame closed.
    panel.setCaptionPosition(cpBottomRight);
    EXPECT_EQ(panel.ClientArea(), QRect(3, 3, 194, 114));
}

TEST(TRbPanel, ImageIsRebuiltOnlyOnAppearanceChanges)
{
    TRbPanel panel;
    panel.CurrentFrame();
    const int builds = panel.ImageBuilds();
    EXPECT_EQ(builds, 1); // construction and its settings drew it once
    panel.setCaption(QStringLiteral("x"));
    panel.setCaptionPosition(cpTopCenter);
    panel.CurrentFrame();
    EXPECT_EQ(panel.ImageBuilds(), builds);
    panel.setBorderColor(0x0000FF);
    panel.setCornerWidth(6); // two changes, one drawing
    panel.CurrentFrame();
    EXPECT_EQ(panel.ImageBuilds(), builds + 1);
    EXPECT_EQ(panel.PanelImage().pixel(0, 52), qRgb(255, 0, 0)); // left edge in the new border colour
    panel.setCaptionPosition(cpGroupBox);
    panel.CurrentFrame();
    EXPECT_EQ(panel.ImageBuilds(), builds + 2);
}

TEST(StyledControls, AControlOnAPanelTakesAndFollowsThePanelsColour)
{
    // The rounded corners of a button show its Color: on a panel they must
    // be the panel's face, not the platform's button grey.
    const auto corners = [](TRbCustomControl *control) {
        const QImage shot = control->grab().toImage();
        return QList<QRgb> { shot.pixel(0, 0), shot.pixel(shot.width() - 1, 0),
            shot.pixel(0, shot.height() - 1), shot.pixel(shot.width() - 1, shot.height() - 1) };
    };
    const auto all = [](QRgb c) { return QList<QRgb>(4, c); };

    QWidget form;
    form.resize(400, 300);
    auto *panel = new TRbPanel(&form);
    panel->setCaptionPosition(cpGroupBox);
    panel->setGeometry(10, 10, 300, 200);
    auto *onPanel = new TRbButton(panel);
    onPanel->setGeometry(20, 40, 80, 26);
    onPanel->UseFormColors();
    auto *ownColour = new TRbButton(panel);
    ownColour->setColor(0x0000FF);
    ownColour->setGeometry(120, 40, 80, 26);
    auto *nested = new TRbPanel(panel);
    nested->setParentColor(true);
    nested->setGeometry(20, 80, 120, 80);
    auto *onForm = new TRbButton(&form);
    onForm->setGeometry(20, 250, 80, 26);
    form.show();

    EXPECT_EQ(onPanel->Color(), 0xE3DFDFu);
    EXPECT_EQ(corners(onPanel), all(qRgb(223, 223, 227)));
    EXPECT_EQ(corners(ownColour), all(qRgb(255, 0, 0)));
    EXPECT_EQ(onForm->Color(), RbDrawCore::kButtonFace);
    EXPECT_EQ(corners(onForm), all(rgbOf(RbDrawCore::kButtonFace)));
    EXPECT_EQ(nested->Color(), 0xE3DFDFu); // a panel's own face
    EXPECT_EQ(nested->OuterColor(), 0xE3DFDFu);

    // The panel's colour changes: what sits on it follows.
    panel->setColor(0x00C000);
    EXPECT_EQ(corners(onPanel), all(qRgb(0, 192, 0)));
    EXPECT_EQ(corners(ownColour), all(qRgb(255, 0, 0)));
    EXPECT_EQ(nested->OuterColor(), 0x00C000u);
    EXPECT_EQ(nested->Color(), 0xE3DFDFu);

    // Moved off the panel, the button takes the platform's face again; put
    // back, the panel's.
    onPanel->setParent(&form);
    EXPECT_EQ(onPanel->Color(), RbDrawCore::kButtonFace);
    onPanel->setParent(panel);
    EXPECT_EQ(onPanel->Color(), 0x00C000u);
    onPanel->show();
    EXPECT_EQ(corners(onPanel), all(qRgb(0, 192, 0)));
}

TEST(StyledControls, AccessibleRolesNamesAndStates)
{
    QWidget parent;
    auto *button = new TRbButton(&parent);
    button->setCaption(QStringLiteral("Annuler"));
    auto *box = new TRbCheckBox(&parent);
    box->setCaption(QStringLiteral("Son"));
    box->setChecked(true);
    auto *bar = new TRbProgressBar(&parent);
    bar->setPosition(40);

    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::Button);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Annuler"));
    QAccessibleInterface *b = QAccessible::queryAccessibleInterface(box);
    EXPECT_EQ(b->role(), QAccessible::CheckBox);
    EXPECT_TRUE(b->state().checked);
    QAccessibleInterface *p = QAccessible::queryAccessibleInterface(bar);
    EXPECT_EQ(p->role(), QAccessible::ProgressBar);
    EXPECT_EQ(p->text(QAccessible::Name), QStringLiteral("40%"));
}

TEST(StyledControls, StyleManagerListAndItsDeparture)
{
    auto *manager = new TRbStyleManager;
    TRbButton button;
    TRbCheckBox box;
    button.setRbStyleManager(manager);
    button.setRbStyleManager(manager);
    box.setRbStyleManager(manager);
    EXPECT_EQ(manager->Clients().size(), 2);
    box.setRbStyleManager(nullptr);
    EXPECT_EQ(manager->Clients().size(), 1);
    {
        TRbButton shortLived;
        shortLived.setRbStyleManager(manager);
        EXPECT_EQ(manager->Clients().size(), 2);
    }
    EXPECT_EQ(manager->Clients().size(), 1);
    delete manager;
    EXPECT_EQ(button.RbStyleManager(), nullptr);
}

} // namespace
