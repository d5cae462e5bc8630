#pragma once

#include <QDialog>

// Upload of a new avatar picture.
class TfrmChangeAvatar : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmChangeAvatar(QWidget *parent = nullptr);
};
