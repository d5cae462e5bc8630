// The file-type pictures the windows show: a type the member's own store
// registers shows its icon in the transfer panels and the confirmation
// window; a type nobody knows shows the stock picture.
#include "components/FileTypeIcons.h"
#include "components/TvzkFileAsso.h"
#include "components/UserFileClassStore.h"
#include "negotiation/ui/TfrmReception.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "support/MainWindowFixture.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

class FileTypeIcons : public MainWindowFixture
{
protected:
    FileTypeIcons()
    {
        // The member's store beside the settings, with one type of ours.
        QImage red(48, 48, QImage::Format_ARGB32);
        red.fill(QColor(255, 0, 0));
        iconFile = home.filePath(QStringLiteral("vzkt.png"));
        EXPECT_TRUE(red.save(iconFile));
        TvzkFileAsso writer(
            std::make_shared<UserFileClassStore>(home.filePath(QStringLiteral("config/VoxlaneFileClasses.json"))),
            nullptr);
        writer.SetReadOnly(false);
        EXPECT_TRUE(writer.CreateExtension(QStringLiteral(".vzkt"), QStringLiteral("Fichier de test"), {}, {}, {}, {},
            {}, {}, {}, {}, {}, {}, iconFile, 0, true));
        w = &createWindow();
    }

    TvzkLoadPanel *upload(const QString &name)
    {
        const TransferRecord r = makeRecord(w->transfers().NewTransferId(), QStringLiteral("bob"), QString(),
            QStringLiteral("1"), 0, home.filePath(name), 2010, QString());
        EXPECT_TRUE(w->transfers().NewUpload(r));
        return w->panel(QStringLiteral("Tel") + r.IDTel);
    }

    static QImage shown(QLabel *label) { return label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32); }
    static QImage stock() { return TTransferPage::StockPicture(0).toImage().convertToFormat(QImage::Format_ARGB32); }

    QString iconFile;
    TestClient *w = nullptr;
};

TEST_F(FileTypeIcons, PanelsShowTheRegisteredIconAndTheStockOneForAnUnknownType)
{
    for (const char *name : { "photo.vzkt", "PHOTO.VZKT" }) {
        SCOPED_TRACE(name);
        const QImage icon = shown(upload(QLatin1String(name))->PictureIco());
        ASSERT_EQ(icon.size(), QSize(32, 32));
        EXPECT_EQ(icon.pixelColor(16, 16), QColor(255, 0, 0));
    }
    EXPECT_EQ(shown(upload(QStringLiteral("x.qqzzunknowntype"))->PictureIco()), stock());
    EXPECT_EQ(shown(upload(QStringLiteral("sans extension"))->PictureIco()), stock());
}

TEST_F(FileTypeIcons, TheConfirmationWindowDrawsTheSameIcons)
{
    TfrmReception &reception = *w->reception;
    reception.ShownFileName = QStringLiteral("offert.vzkt");
    reception.DessinerIcone();
    EXPECT_EQ(shown(reception.imgIco).pixelColor(16, 16), QColor(255, 0, 0));
    reception.ShownFileName = QStringLiteral("offert.qqzzunknowntype");
    reception.DessinerIcone();
    EXPECT_EQ(shown(reception.imgIco), stock());
}

TEST_F(FileTypeIcons, TheSendPageAsksTheDesktopAboutTheFileItself)
{
    // The member's own store is not the desktop's: a file of our type shows
    // what the desktop says of its content, never the registered icon.
    const QString path = home.filePath(QStringLiteral("envoi.vzkt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("plain words\n");
    file.close();
    w->FileNameSend->setText(path);
    const QImage icon = shown(w->imgIcoDecompose);
    ASSERT_EQ(icon.size(), QSize(32, 32));
    EXPECT_NE(icon.pixelColor(16, 16), QColor(255, 0, 0));
    const QImage desktop = w->controllers().fileTypes().forFile(path, stock());
    QImage expected(32, 32, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    {
        QPainter p(&expected);
        p.drawImage(0, 0, desktop);
    }
    EXPECT_EQ(icon, expected.convertToFormat(QImage::Format_ARGB32));
}

} // namespace
