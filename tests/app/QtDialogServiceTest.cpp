// The desktop's yes/no questions: what closing the box means.
#include "app/ui/QtDialogService.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

enum class Act { Escape, Yes, No };

// Answers the next question box once it is up, as the user would.
void answerNextBox(Act act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        switch (act) {
        case Act::Escape:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case Act::Yes:
            box->button(QMessageBox::Yes)->click();
            break;
        case Act::No:
            box->button(QMessageBox::No)->click();
            break;
        }
    });
    poll->start(5);
}

TEST(QtDialogService, OnlyAnExplicitYesConfirmsAQuestion)
{
    QtDialogService dialogs;
    const struct
    {
        const char *what;
        Act act;
        bool expected;
    } cases[] = {
        { "Escape is No", Act::Escape, false },
        { "Yes", Act::Yes, true },
        { "No", Act::No, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        answerNextBox(c.act);
        EXPECT_EQ(dialogs.askYesNo(QStringLiteral("Êtes-vous de vouloir supprimer bob ?"), QStringLiteral("Confirmation")),
                  c.expected);
    }
}

// The program's own filters say "description|patterns"; "*.*" means every
// file there, names without a dot included.
TEST(QtDialogService, FiltersOfTheProgramBecomeQtFilters)
{
    const struct
    {
        const char *filter;
        const char *qt;
    } cases[] = {
        { "Tous les fichiers  (*.*)|*.*", "Tous les fichiers  (*)" },
        { "Images (*.jpg;*.png)|*.jpg;*.png", "Images (*.jpg *.png)" },
        { "Musique|*.mp3", "Musique (*.mp3)" },
        { "Images (JPEG, PNG)|*.jpg;*.png|Fichier image JPEG (*.jpg)|*.jpg",
            "Images (JPEG, PNG) (*.jpg *.png);;Fichier image JPEG (*.jpg)" },
        { "Tous (*)", "Tous (*)" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(QtDialogService::qtFilter(QString::fromUtf8(c.filter)), QString::fromUtf8(c.qt)) << c.filter;
}

} // namespace

