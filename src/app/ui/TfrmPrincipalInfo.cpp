// The info panel of the main window.
#include "app/ui/TfrmPrincipal.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>

void TfrmPrincipal::AffichInfo(const QString &Text, bool Show, int Milliseconds)
{
    if (!Show) {
        pnInfo->hide();
        return;
    }
    pnInfo->show();
    pnInfo->raise();
    lblInfo->setText(Text);
    pnInfo->repaint();
    if (Milliseconds > 0) {
        TimerInfo->setInterval(Milliseconds);
        TimerInfo->start();
    }
}

void TfrmPrincipal::TimerInfoTimer()
{
    AffichInfo(QString(), false, 0);
    TimerInfo->stop();
}
