// The desktop's yes/no questions: what closing the box means.
#include "app/ui/QtDialogService.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
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

// What the desktop's opener answers reaches the user: an address nothing
// can open (xdg-open's 3 or 4), or an opener that cannot run, is handed to
// the failure handler; a success says nothing.
TEST(QtDialogService, WhatTheOpenerCouldNotOpenIsTold)
{
    QTemporaryDir dir;
    const auto opener = [&](const char *name, int status) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"$1\" > \"$0.arg\"\nexit " + QByteArray::number(status) + "\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    };
    const struct
    {
        const char *what;
        QString program;
        const char *address;
        bool told;
    } cases[] = {
        { "a browser opened it", opener("ok.sh", 0), "https://voxlane.test/~bob", false },
        { "no method available", opener("none.sh", 3), "https://voxlane.test/~bob", true },
        { "the action failed", opener("failed.sh", 4), "/tmp/film.avi", true },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QtDialogService dialogs;
        QStringList failures;
        dialogs.setOpenFailedHandler([&](const QString &address) { failures << address; });
        dialogs.setOpener(c.program);
        EXPECT_TRUE(dialogs.openUrl(QString::fromLatin1(c.address)));
        const QString argFile = c.program + QStringLiteral(".arg");
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(argFile) && (!c.told || !failures.isEmpty()); }, 5000));
        QTest::qWait(50); // a success stays silent after the opener's end too
        EXPECT_EQ(failures, c.told ? QStringList { QString::fromLatin1(c.address) } : QStringList());
        QFile arg(argFile);
        ASSERT_TRUE(arg.open(QIODevice::ReadOnly));
        EXPECT_EQ(arg.readAll().trimmed(), QByteArray(c.address));
    }
}

} // namespace

