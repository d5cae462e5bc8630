#include "TransferHarness.h"

#include "base/ErrorReport.h"
#include "transfer/DataPacket.h"
#include "transfer/SizeText.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QLocale>
#include <QMetaProperty>
#include <QPushButton>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

QLabel *labelShowing(const TvzkLoadPanel &panel, const QString &text)
{
    for (QLabel *l : panel.findChildren<QLabel *>())
        if (l->text() == text)
            return l;
    return nullptr;
}

TEST(TvzkLoadPanel, PublishedPropertiesInOrder)
{
    TestPanel panel;
    const QMetaObject *mo = panel.metaObject();
    QStringList names;
    for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i)
        names << QString::fromLatin1(mo->property(i).name());
    const QStringList expected = {
        "ClientSocket",
        "ServerSocket",
        "ProgressBar",
        "LabelInfo",
        "PopupMenu",
        "About",
        "Port",
        "FichierName",
        "FichierProprio",
        "FichierPath",
        "FichierPoids",
        "FichierTel",
        "IDTel",
        "Status",
        "CaptionLabelInfo",
        "CaptionLabelLoad",
        "CaptionLabelIcone",
        "CaptionLabelProgress",
        "CaptionButton",
        "ProgressPosition",
        "ProgressMin",
        "ProgressMax",
        "ProgressStep",
        "PictureFond",
        "PictureLoad",
        "PictureIco",
        "TempPath",
        "BindAddress",
        "ClientAddress",
        "PeerAddress",
    };
    EXPECT_EQ(names, expected);
}

TEST(TvzkLoadPanel, FreshPanel)
{
    TestPanel panel;
    EXPECT_EQ(panel.size(), QSize(489, 75));
    EXPECT_EQ(panel.Port(), 0);
    for (const QString &v : { panel.FichierName(), panel.FichierProprio(), panel.FichierPath(),
             panel.FichierPoids(), panel.IDTel(), panel.Status(), panel.CaptionLabelInfo(),
             panel.CaptionLabelProgress() })
        EXPECT_TRUE(v.isEmpty());
    EXPECT_EQ(panel.FichierTel(), 0);
    EXPECT_EQ(panel.CaptionLabelLoad(), QStringLiteral("Patientez"));
    EXPECT_EQ(panel.CaptionLabelIcone(), QStringLiteral("Loading"));
    EXPECT_EQ(panel.CaptionButton(), QStringLiteral("&Annuler"));
    EXPECT_EQ(panel.ProgressPosition(), 0);
    EXPECT_EQ(panel.ProgressMin(), 0);
    EXPECT_EQ(panel.ProgressMax(), 100);
    EXPECT_EQ(panel.ProgressStep(), 10);
    EXPECT_FALSE(panel.About().isEmpty());
    EXPECT_FALSE(panel.job()->isServerActive());
    EXPECT_FALSE(panel.job()->isClientActive());
    EXPECT_EQ(panel.ClientSocket()->state(), QAbstractSocket::UnconnectedState);

    // The children show their own first captions, not the properties'.
    QLabel *file = labelShowing(panel, QStringLiteral("Fichier :"));
    QLabel *owner = labelShowing(panel, QStringLiteral("lblFileProprio"));
    ASSERT_NE(file, nullptr);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(panel.LabelInfo()->text(), QStringLiteral("Info"));
    EXPECT_EQ(file->pos(), QPoint(48, 10));
    EXPECT_EQ(file->font().family(), QStringLiteral("Trebuchet MS"));
    EXPECT_TRUE(file->font().bold());
    EXPECT_EQ(file->font().pointSize(), 8);
    EXPECT_EQ(owner->geometry().right() + 1, 480);
    EXPECT_EQ(owner->y(), 56);
    EXPECT_EQ(owner->palette().color(QPalette::WindowText), QColor(35, 75, 141));
    EXPECT_EQ(panel.LabelInfo()->pos(), QPoint(64, 32));
    EXPECT_EQ(panel.LabelInfo()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(panel.ProgressBar()->geometry(), QRect(48, 30, 371, 17));
    EXPECT_EQ(panel.PictureIco()->geometry(), QRect(8, 22, 32, 32));
    EXPECT_EQ(panel.PictureLoad()->geometry(), QRect(433, 7, 48, 48));
    EXPECT_EQ(panel.PictureFond()->geometry(), panel.rect());
    auto *button = panel.findChild<QPushButton *>();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry(), QRect(480, 88, 75, 25));
    EXPECT_EQ(button->text(), QStringLiteral("&Annuler"));
}

TEST(TvzkLoadPanel, CaptionsAndAnchorsFollowTheSetters)
{
    TestPanel panel;
    panel.setCaptionLabelIcone(QStringLiteral("Ginette"));
    panel.setCaptionLabelLoad(QStringLiteral("photo.jpg"));
    panel.setCaptionLabelInfo(QStringLiteral("Source non trouvée"));
    QLabel *owner = labelShowing(panel, QStringLiteral("Ginette"));
    ASSERT_NE(owner, nullptr);
    EXPECT_NE(labelShowing(panel, QStringLiteral("photo.jpg")), nullptr);
    EXPECT_EQ(panel.LabelInfo()->text(), QStringLiteral("Source non trouvée"));
    EXPECT_EQ(owner->geometry().right() + 1, 480);

    // Wider panel: the owner label and the avatar keep to the right edge,
    // the bar stretches.
    panel.show();
    panel.resize(589, 75);
    EXPECT_EQ(owner->geometry().right() + 1, 580);
    EXPECT_EQ(panel.PictureLoad()->x(), 533);
    EXPECT_EQ(panel.ProgressBar()->width(), 471);
    EXPECT_EQ(panel.PictureFond()->geometry(), panel.rect());
}

// A peer names its file and itself: markup there is shown as written.
TEST(TvzkLoadPanel, PeersTextsAreShownAsPlainText)
{
    TestPanel panel;
    const QString pseudo = QStringLiteral("<h1>mallory</h1>");
    const QString file = QStringLiteral("<img src=\"/etc/passwd\">.bin");
    panel.setCaptionLabelIcone(pseudo);
    panel.setCaptionLabelLoad(file);
    panel.setCaptionLabelInfo(QStringLiteral("<b>Info</b>"));
    for (const QString &text : { pseudo, file, QStringLiteral("<b>Info</b>") }) {
        const QLabel *label = labelShowing(panel, text);
        ASSERT_NE(label, nullptr) << text.toStdString();
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << text.toStdString();
    }
}

TEST(TvzkLoadPanel, ProgressCaptionAndItsConversionFailure)
{
    TestPanel panel;
    panel.job()->setFichierPoids(QStringLiteral("2048"));
    panel.setProgressMax(2048);
    panel.setProgressPosition(1024);
    EXPECT_EQ(panel.ProgressBar()->value(), 1024);
    EXPECT_EQ(panel.CaptionLabelProgress(), QStringLiteral("1 Ko sur 2 Ko"));
    // A size that cannot be read is said once, when it arrives, and not on
    // every refresh of the caption that follows.
    RecordedErrors::take();
    for (const char *bad : { "abc", "", "9223372036854775808", "-" }) {
        panel.job()->setFichierPoids(QString::fromLatin1(bad));
        EXPECT_EQ(RecordedErrors::take(),
            QStringList { QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(bad)) });
        for (qint64 position : { 10, 20, 30 })
            panel.setProgressPosition(position);
        panel.setProgressMax(50);
        EXPECT_EQ(RecordedErrors::take(), QStringList());
        EXPECT_EQ(panel.CaptionLabelProgress(), QStringLiteral("30 octets sur 0 octet"));
    }
}

// Files of 2 GiB and more: the caption and the bar follow the real counts,
// never wrapped negative nor stuck at the bar's int limit.
TEST(TvzkLoadPanel, ProgressOfFilesOfTwoGigabytesAndMore)
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const struct
    {
        qint64 size, position;
    } cases[] = {
        { 2147483647LL, 1073741824LL },
        { 2147483648LL, 2147483648LL },
        { 5LL << 30, 3LL << 30 },
        { 1LL << 42, 1LL << 41 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        TestPanel panel;
        RecordedErrors::take();
        panel.job()->setFichierPoids(QString::number(c.size));
        EXPECT_EQ(RecordedErrors::take(), QStringList());
        panel.setProgressMax(c.size);
        panel.setProgressPosition(c.position);
        EXPECT_EQ(panel.ProgressPosition(), c.position);
        EXPECT_EQ(panel.CaptionLabelProgress(),
            SizeText::FormatSize(c.position) + QStringLiteral(" sur ") + SizeText::FormatSize(c.size));
        const QProgressBar *bar = panel.ProgressBar();
        ASSERT_GT(bar->maximum(), 0);
        EXPECT_NEAR(double(bar->value()) / bar->maximum(), double(c.position) / double(c.size), 1e-6);
        // Beyond the maximum the bar stays full.
        panel.setProgressPosition(c.size + 4096);
        EXPECT_EQ(bar->value(), bar->maximum());
    }
    QLocale::setDefault(QLocale::c());
}

TEST(TvzkLoadPanel, BusyPortIsAnErrorForTheGeneralReport)
{
    TransferHarness h;
    auto first = h.download(QStringLiteral("a"), 1);
    TestPanel second;
    second.job()->setBindAddress(QStringLiteral("127.0.0.1"));
    second.job()->setPort(first->Port());
    try {
        second.job()->setServerActive(true);
        FAIL() << "listening twice on one port";
    } catch (const VoxlaneError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Erreur socket n°10048 : Address already in use."));
    }
    EXPECT_FALSE(second.job()->isServerActive());
}

TEST(TvzkLoadPanel, DestroyingThePanelClosesItsConnections)
{
    TransferHarness h;
    auto down = h.download(QStringLiteral("c.bin"), 100);
    const quint16 port = quint16(down->Port());
    QTcpSocket peer;
    peer.connectToHost(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(waitUntil(
        [&] {
            return down->ProgressBar()->isVisibleTo(down.get())
                && !down->LabelInfo()->isVisibleTo(down.get());
        },
        5000));
    peer.write(DataPacket::header("c.bin", "100"));
    ASSERT_TRUE(waitUntil([&] { return peer.bytesAvailable() == 4; }, 5000));
    down.reset();
    EXPECT_TRUE(waitUntil([&] { return peer.state() == QAbstractSocket::UnconnectedState; }, 5000));
    // The port is free again and the temp file is no longer claimed.
    auto again = h.download(QStringLiteral("c.bin"), 100);
    again->job()->setServerActive(false);
    again->job()->setPort(port);
    EXPECT_NO_THROW(again->job()->setServerActive(true));
    QTcpSocket next;
    next.connectToHost(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(waitUntil([&] { return next.state() == QAbstractSocket::ConnectedState; }, 5000));
    next.write(DataPacket::header("c.bin", "100"));
    ASSERT_TRUE(waitUntil([&] { return next.bytesAvailable() == 4; }, 5000));
    EXPECT_EQ(next.readAll(), DataPacket::status(0));
}

} // namespace
