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

QString ScriptedDialogs::saveFileName(const QString &, const QString &, const QString &)
{
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

QString ScriptedDialogs::openFileName(const QString &, const QString &, const QString &)
{
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

bool ScriptedDialogs::openUrl(const QString &address)
{
    openedUrls.append(address);
    return openSucceeds;
}
