// The desktop's own dialogs as the program shows them: the log-out question
// and the texts and captions that Qt itself provides.
#include "app/ui/QtDialogService.h"
#include "app/ui/VoxlaneApplication.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>

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

TEST(DesktopDialogs, QtsOwnTextsAreFrench)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(folder + QStringLiteral("/qtbase_fr.qm")))
        GTEST_SKIP() << "Qt's French translations are not installed (qt6-translations-l10n)";
    ASSERT_TRUE(VoxlaneApplication::installFrenchTranslations());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Oui"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&No"), QStringLiteral("&Non"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annuler"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Voir dans :"));
    // Leave the other tests with Qt's untranslated texts.
    const auto translators = qApp->findChildren<QTranslator *>();
    for (QTranslator *t : translators) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}

} // namespace
