#pragma once

#include "base/DialogService.h"

class QWidget;

// The desktop's dialogs and shell behind DialogService.
class QtDialogService : public DialogService
{
public:
    void setParentWindow(QWidget *parent) { m_parent = parent; }

    void showMessage(const QString &text, const QString &caption, Kind kind) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    QString saveFileName(const QString &caption, const QString &directory,
                         const QString &suggestedName) override;
    QString openFileName(const QString &caption, const QString &directory,
                         const QString &filter) override;
    bool openUrl(const QString &address) override;

private:
    QWidget *m_parent = nullptr;
};
