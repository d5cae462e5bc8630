#include "app/ui/TfrmChat.h"

TfrmChat::TfrmChat(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmChat"));
    setWindowTitle(QStringLiteral("Quixvale Lite"));
    resize(400, 300);
}
