#pragma once

#include "base/DialogService.h"

#include <QString>

#include <functional>

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
    // A filter may be written "description|patterns", patterns separated by
    // ';', and several such pairs one after the other, all separated by '|'
    // (the form of the program's own filters): "*.*" there means every file,
    // as it does on Windows, while Qt would read it as "names with a dot".
    // Returns Qt's form of the filter, "description (patterns)" pairs
    // separated by ";;".
    static QString qtFilter(const QString &filter);
    QString openFileName(const QString &caption, const QString &directory,
                         const QString &filter) override;
    // Hands the address or file to the desktop's opener (xdg-open), whose
    // answer comes later: when it says nothing could open it (or it cannot
    // run), the failure handler is told, so that the user hears of it. False
    // only when nothing could be started at all.
    QStringList openFileNames(const QString &caption, const QString &directory, const QString &filter) override;
    bool openUrl(const QString &address) override;
    void setOpenFailedHandler(std::function<void(const QString &address)> handler)
    {
        m_openFailed = std::move(handler);
    }
    // The opener program; tests name one of their own.
    void setOpener(const QString &program) { m_opener = program; }

private:
    QWidget *m_parent = nullptr;
    QString m_opener = QStringLiteral("xdg-open");
    std::function<void(const QString &address)> m_openFailed;
};
