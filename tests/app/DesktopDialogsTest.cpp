// The desktop's own dialogs as the program shows them: the log-out question
// and the texts and captions that Qt itself provides.
#include "app/ui/QtDialogService.h"
#include "app/ui/VoxlaneApplication.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Acts on the modal box as soon as it is up, from inside its own loop.
void whenModalShows(const std::function<void(QWidget *)> &act)
{
    auto *poll = new QTimer(qApp);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(box);
        }
    });
    poll->start();
}

TEST(DesktopDialogs, LogOutQuestionSaysNoUnlessYesIsChosen)
{
    const struct
    {
        const char *what;
        std::function<void(QWidget *)> act;
        bool answer;
    } cases[] = {
        { "Escape", [](QWidget *box) { QTest::keyClick(box, Qt::Key_Escape); }, false },
        { "close box", [](QWidget *box) { box->close(); }, false },
        { "No",
            [](QWidget *box) {
                static_cast<QMessageBox *>(box)->button(QMessageBox::No)->click();
            },
            false },
        { "Yes",
            [](QWidget *box) {
                static_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click();
            },
            true },
    };
    QtDialogService dialogs;
    for (const auto &c : cases) {
        whenModalShows(c.act);
        EXPECT_EQ(dialogs.askYesNo(QStringLiteral("Êtes-vous sûr de vouloir vous déconnecter ?"),
                      QStringLiteral("Confirmation")),
            c.answer)
            << c.what;
    }
}

TEST(DesktopDialogs, CaptionsAreNotSuffixedWithTheProgramName)
{
    // The test program runs on a VoxlaneApplication, as the client does.
    ASSERT_NE(qobject_cast<VoxlaneApplication *>(qApp), nullptr);
    // The X11 platform appends the display name to every window title
    // ("Nouveau contact — Voxlane") once one has been set explicitly. Without
    // one, the display name is just the application name and follows it.
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    const QString displayed = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName(name);
    EXPECT_EQ(displayed, QStringLiteral("probe"));
    EXPECT_EQ(name, QStringLiteral("Voxlane"));
}

// Qt's French catalogues for one test; the others keep Qt's own texts.
class FrenchQtTexts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFileInfo::exists(folder + QStringLiteral("/qtbase_fr.qm")))
            GTEST_SKIP() << "Qt's French translations are not installed (qt6-translations-l10n)";
        ASSERT_TRUE(VoxlaneApplication::installFrenchTranslations());
    }

    void TearDown() override
    {
        const auto translators = qApp->findChildren<QTranslator *>();
        for (QTranslator *t : translators) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
};

TEST_F(FrenchQtTexts, QtsOwnTextsAreFrench)
{
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Oui"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&No"), QStringLiteral("&Non"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annuler"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Voir dans :"));
    // The file dialog's columns: the header, and the type of a folder, which
    // Qt 6 asks under a context the catalogue does not have.
    EXPECT_EQ(QCoreApplication::translate("QFileSystemModel", "Date Modified"),
        QStringLiteral("Dernière modification"));
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder", "All other platforms"),
        QStringLiteral("Dossier"));
    // Texts of other contexts are not taken from the file dialog's.
    EXPECT_EQ(QCoreApplication::translate("NoSuchContext", "Folder"), QStringLiteral("Folder"));
}

TEST_F(FrenchQtTexts, FileDialogShowsFrenchColumnsWideEnoughAndStillAnswers)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QFile big(dir.filePath(QStringLiteral("big.bin")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(34304, 'x')); // 33,50 Kio
    big.close();
    const QDateTime modified = QFileInfo(big).lastModified();

    // What each row of the listing shows, by name, once the folder is read.
    struct Seen
    {
        QStringList headers;
        QMap<QString, QStringList> rows;
        int sizeWidth = 0;
        int sizeNeeded = 0;
    };
    const auto look = [](QWidget *box, Seen &seen) {
        auto *view = box->findChild<QTreeView *>(QStringLiteral("treeView"));
        ASSERT_NE(view, nullptr);
        QAbstractItemModel *model = view->model();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(view->rootIndex()) >= 2; }, 5000));
        for (int c = 0; c < model->columnCount(); ++c)
            seen.headers.append(model->headerData(c, Qt::Horizontal).toString());
        for (int r = 0; r < model->rowCount(view->rootIndex()); ++r) {
            QStringList cells;
            for (int c = 0; c < model->columnCount(); ++c)
                cells.append(model->index(r, c, view->rootIndex()).data().toString());
            seen.rows.insert(cells.value(0), cells);
        }
        QCoreApplication::processEvents();
        seen.sizeWidth = view->header()->sectionSize(1);
        // The width the view wants for the column's texts (public on the
        // base class only).
        seen.sizeNeeded = static_cast<QAbstractItemView *>(view)->sizeHintForColumn(1);
    };

    QtDialogService dialogs;
    Seen seen;
    whenModalShows([&](QWidget *box) {
        look(box, seen);
        box->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("chosen.txt"));
        QMetaObject::invokeMethod(box, "accept");
    });
    EXPECT_EQ(dialogs.saveFileName(QStringLiteral("Enregistrer"), dir.path(), QStringLiteral("offered.txt")),
        dir.filePath(QStringLiteral("chosen.txt")));

    EXPECT_EQ(seen.headers,
        (QStringList { QStringLiteral("Nom"), QStringLiteral("Taille"), QStringLiteral("Type"),
            QStringLiteral("Dernière modification") }));
    const QLocale french(QLocale::French, QLocale::France);
    EXPECT_EQ(seen.rows.value(QStringLiteral("sub")).value(1), QString());
    EXPECT_EQ(seen.rows.value(QStringLiteral("sub")).value(2), QStringLiteral("Dossier"));
    EXPECT_EQ(seen.rows.value(QStringLiteral("big.bin")).value(1), QStringLiteral("33,50 Kio"));
    EXPECT_EQ(
        seen.rows.value(QStringLiteral("big.bin")).value(3), french.toString(modified, QLocale::ShortFormat));
    // The whole size is read, not "33....Kio".
    EXPECT_GT(seen.sizeNeeded, 0);
    EXPECT_GE(seen.sizeWidth, seen.sizeNeeded);

    // Leaving the dialog chooses nothing; opening answers the file chosen.
    whenModalShows([](QWidget *box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(dialogs.saveFileName(QStringLiteral("Enregistrer"), dir.path(), QStringLiteral("offered.txt")),
        QString());
    whenModalShows([](QWidget *box) {
        box->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("big.bin"));
        QMetaObject::invokeMethod(box, "accept");
    });
    EXPECT_EQ(dialogs.openFileName(QStringLiteral("Ouvrir"), dir.path(), QString()), big.fileName());
}

} // namespace
