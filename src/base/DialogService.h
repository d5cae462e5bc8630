#pragma once

#include <QString>
#include <QStringList>

// Every question or message put to the user, and every hand-off to the
// desktop shell, goes through this interface. The application passes the
// Qt implementation; tests pass one that answers from a script and records.
class DialogService
{
public:
    enum class Kind {
        Error,        // stop icon, single button "Yes"
        Information,  // information icon, button "OK"
        Warning,      // warning icon, button "OK"
    };

    virtual ~DialogService() = default;

    virtual void showMessage(const QString &text, const QString &caption, Kind kind) = 0;

    // Yes/No question. Only an explicit "Yes" gives true: Escape and the
    // close box answer "No".
    virtual bool askYesNo(const QString &text, const QString &caption) = 0;

    // Empty text when the user cancels.
    virtual QString saveFileName(const QString &caption, const QString &directory,
                                 const QString &suggestedName) = 0;
    virtual QString openFileName(const QString &caption, const QString &directory,
                                 const QString &filter) = 0;
    // Several files at once; empty when the user cancels. By default the
    // one-file dialog.
    virtual QStringList openFileNames(const QString &caption, const QString &directory, const QString &filter)
    {
        const QString name = openFileName(caption, directory, filter);
        return name.isEmpty() ? QStringList() : QStringList { name };
    }

    // The shell's "open" action: web pages, mailto: addresses, local files
    // and folders.
    virtual bool openUrl(const QString &address) = 0;
};
