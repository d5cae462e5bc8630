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

QString ScriptedDialogs::saveFileName(const QString &caption, const QString &, const QString &suggestedName)
{
    fileDialogs.append({QStringLiteral("save"), caption, suggestedName});
    if (onSaveDialog)
        onSaveDialog();
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

QString ScriptedDialogs::openFileName(const QString &caption, const QString &, const QString &filter)
{
    fileDialogs.append({QStringLiteral("open"), caption, filter});
    if (onOpenDialog)
        onOpenDialog();
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

bool ScriptedDialogs::openUrl(const QString &address)
{
    openedUrls.append(address);
    return openSucceeds;
}
