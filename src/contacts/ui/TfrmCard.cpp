#include "contacts/ui/TfrmCard.h"

TfrmCard::TfrmCard(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCard"));
    setWindowTitle(QStringLiteral("Carte de visite"));
    resize(259, 147);
}
