#pragma once

#include <QDialog>

// Chat window placeholder: created at start-up, never shown.
class TfrmChat : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmChat(QWidget *parent = nullptr);
};
