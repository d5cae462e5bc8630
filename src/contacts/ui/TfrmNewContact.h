#pragma once

#include <QDialog>
#include <QPoint>

class QLabel;
class QPushButton;
class QRadioButton;

// The window of one pending contact request: a member asks to join the
// account's contact list. One window per request, made at log-in and placed
// in a cascade from its design position; it stays above other windows and
// frees itself when closed.
class TfrmNewContact : public QDialog
{
    Q_OBJECT

public:
    static constexpr QPoint kDesignPosition { 304, 243 };

    explicit TfrmNewContact(QWidget *parent = nullptr);

    QLabel *lblUsername = nullptr;
    QLabel *imgAvatar = nullptr;
    QRadioButton *rbOK = nullptr;
    QRadioButton *rbNo = nullptr;
    QPushButton *btnPseudoOK = nullptr;
};
