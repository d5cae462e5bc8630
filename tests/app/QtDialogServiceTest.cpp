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

TEST(QtDialogService, OnlyAnExplicitYesConfirmsADestructiveQuestion)
{
    QtDialogService dialogs;
    using Ask = std::function<bool(const QString &)>;
    const Ask lenient
        = [&](const QString &text) { return dialogs.askYesNo(text, QStringLiteral("Confirmation")); };
    const Ask strict
        = [&](const QString &text) { return dialogs.askYesOnly(text, QStringLiteral("Confirmation")); };
    const struct
    {
        const char *what;
        const Ask &ask;
        Act act;
        bool expected;
    } cases[] = {
        { "Escape on a destructive question is No", strict, Act::Escape, false },
        { "Yes on a destructive question", strict, Act::Yes, true },
        { "No on a destructive question", strict, Act::No, false },
        { "Escape on an ordinary question counts as consent", lenient, Act::Escape, true },
        { "No on an ordinary question", lenient, Act::No, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        answerNextBox(c.act);
        EXPECT_EQ(c.ask(QStringLiteral("Êtes-vous de vouloir supprimer bob ?")), c.expected);
    }
}

} // namespace
