#pragma once

#include "base/DialogService.h"

#include <QList>
#include <QQueue>
#include <QStringList>

#include <functional>

// A dialog service for tests: answers from queues filled by the test and
// records every message shown and every address opened. Nothing is modal.
class ScriptedDialogs : public DialogService
{
public:
    struct Message {
        QString text;
        QString caption;
        Kind kind;
    };

    void showMessage(const QString &text, const QString &caption, Kind kind) override;
    bool askYesNo(const QString &text, const QString &caption) override;
    QString saveFileName(const QString &caption, const QString &directory,
                         const QString &suggestedName) override;
    QString openFileName(const QString &caption, const QString &directory,
                         const QString &filter) override;
    // Several files: the next list of fileLists when there is one, else as
    // openFileName.
    QStringList openFileNames(const QString &caption, const QString &directory, const QString &filter) override;
    bool openUrl(const QString &address) override;

    QList<Message> messages;
    QStringList questions;
    QStringList openedUrls;
    QQueue<bool> answers;         // empty: "Yes"
    QQueue<QString> fileNames;    // empty: cancelled
    QQueue<QStringList> fileLists; // answers of the several-files dialog
    bool openSucceeds = true;     // false: no program can open an address
    // Every file dialog opened: "save" or "open", its caption, then the
    // proposed name (save) or the filter (open).
    QList<QStringList> fileDialogs;
    // The folder each of them opened in.
    QStringList dialogFolders;
    // Run while a file dialog is "open", before it answers: a real dialog
    // runs an event loop of its own, in which anything may happen.
    std::function<void()> onSaveDialog;
    std::function<void()> onOpenDialog;
};
