#pragma once

#include <QIdentityProxyModel>

class QFileDialog;

// The columns of Qt's own file dialog as a French reader expects them. The
// dialog writes sizes and dates in the desktop's language ("33.50 KiB",
// "11 Dec 2026") whatever the program speaks, and its size column is drawn
// too narrow for a size with decimals ("33....KiB"). This proxy writes them
// in French ("33,50 Kio", "11/12/2026 05:31"); apply() puts it under a dialog
// and lets the size and date columns take the width of what they show.
class FrenchFileColumns : public QIdentityProxyModel
{
    Q_OBJECT

public:
    enum Column { Name = 0, Size = 1, Type = 2, Modified = 3 };

    explicit FrenchFileColumns(QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Only for Qt's own dialog: a desktop's dialog (through the platform
    // theme) speaks the desktop's language and sizes its own columns. False
    // when the dialog is not Qt's own.
    static bool apply(QFileDialog &dialog);
};
