#pragma once

#include <QApplication>

// The application object. Its notify() is the boundary of the general error
// report: an exception escaping any event handler, timer or socket slot is
// caught here, shown in one error box, and the event loop goes on.
class VoxlaneApplication : public QApplication
{
    Q_OBJECT

public:
    VoxlaneApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Installs the error box of the desktop as the error report's handler.
    static void installErrorBox();
    // Qt's own French texts, from the translations installed with Qt;
    // false when they are not there (the texts then stay English).
    static bool installFrenchTranslations();
};
