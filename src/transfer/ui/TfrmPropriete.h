#pragma once

#include <QDialog>

// Properties of one transfer panel, one instance for the whole program.
class TfrmPropriete : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmPropriete(QWidget *parent = nullptr);
};
