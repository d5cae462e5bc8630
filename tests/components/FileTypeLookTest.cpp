#include "components/FileTypeLook.h"

#include "IconFiles.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

TEST(FileTypeLook, ExtensionAsTheCallersTakeIt)
{
    const struct
    {
        const char *name;
        const char *extension;
    } cases[] = {
        { "chanson.mp3", ".mp3" },
        { "archive.tar.gz", ".gz" },
        { "Setup.EXE", ".EXE" }, // as spelled: the panels compare with ".exe" exactly
        { "README", "" },
        { "", "" },
        { "fin.", "." },
        { ".profile", ".profile" },
        { "/home/a.b/notes", "" }, // a "." in a folder is no extension
        { "C:\\Mes.Docs\\notes", "" },
        { "/home/a.b/notes.txt", ".txt" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(FileTypeLook::ExtensionOf(QString::fromLatin1(c.name)), QString::fromLatin1(c.extension))
            << c.name;
}

TEST(FileTypeLook, FitToSizeKeepsTheShape)
{
    EXPECT_TRUE(FileTypeLook::FitToSize(QImage(), 16).isNull());
    const QImage same = IconFiles::square(32, Qt::red);
    EXPECT_EQ(FileTypeLook::FitToSize(same, 32), same);

    QImage wide(64, 32, QImage::Format_ARGB32);
    wide.fill(Qt::blue);
    const QImage fitted = FileTypeLook::FitToSize(wide, 16);
    ASSERT_EQ(fitted.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(fitted.pixel(8, 0)), 0); // the band above stays clear
    EXPECT_EQ(fitted.pixel(8, 8) & 0xFFFFFF, 0x0000FFu);
}
