#pragma once

#include <QDialog>

// Confirmation of an incoming file, created once and reused for every offer.
class TfrmReception : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmReception(QWidget *parent = nullptr);
};
