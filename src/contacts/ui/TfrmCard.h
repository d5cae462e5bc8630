#pragma once

#include <QDialog>

// A member's business card.
class TfrmCard : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmCard(QWidget *parent = nullptr);
};
