#include "support/ScriptedDialogs.h"

void ScriptedDialogs::showMessage(const QString &text, const QString &caption, Kind kind)
{
    messages.append({text, caption, kind});
}

bool ScriptedDialogs::askYesNo(const QString &text, const QString &)
{
    questions.append(text);
    return answers.isEmpty() ? true : answers.dequeue();
}

QString ScriptedDialogs::saveFileName(const QString &caption, const QString &directory, const QString &suggestedName)
{
    fileDialogs.append({QStringLiteral("save"), caption, suggestedName});
    dialogFolders.append(directory);
    if (onSaveDialog)
        onSaveDialog();
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

QString ScriptedDialogs::openFileName(const QString &caption, const QString &directory, const QString &filter)
{
    fileDialogs.append({QStringLiteral("open"), caption, filter});
    dialogFolders.append(directory);
    if (onOpenDialog)
        onOpenDialog();
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

QStringList ScriptedDialogs::openFileNames(const QString &caption, const QString &directory, const QString &filter)
{
    if (fileLists.isEmpty())
        return DialogService::openFileNames(caption, directory, filter);
    fileDialogs.append({QStringLiteral("open"), caption, filter});
    dialogFolders.append(directory);
    if (onOpenDialog)
        onOpenDialog();
    return fileLists.dequeue();
}

bool ScriptedDialogs::openUrl(const QString &address)
{
    openedUrls.append(address);
    return openSucceeds;
}
