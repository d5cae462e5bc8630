#pragma once

#include <QDialog>

// The About box, shown modally from the menu.
class TfrmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmAbout(QWidget *parent = nullptr);

    static QString versionText() { return QStringLiteral("1.0"); }
};
