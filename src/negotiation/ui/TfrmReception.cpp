#include "negotiation/ui/TfrmReception.h"

TfrmReception::TfrmReception(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmReception"));
    setWindowTitle(QStringLiteral("VX - Réception"));
    resize(445, 225);
}
