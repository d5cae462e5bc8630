#include "contacts/ui/TfrmChangeAvatar.h"

TfrmChangeAvatar::TfrmChangeAvatar(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmChangeAvatar"));
    setWindowTitle(QStringLiteral("Changer d'avatar"));
    resize(355, 302);
}
