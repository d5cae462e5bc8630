#include "transfer/ui/TfrmPropriete.h"

TfrmPropriete::TfrmPropriete(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPropriete"));
    setWindowTitle(QStringLiteral("Propriétés"));
    resize(360, 400);
}
