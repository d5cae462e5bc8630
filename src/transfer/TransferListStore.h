#pragma once

#include "transfer/TransferListHost.h"

#include <QObject>
#include <QString>

// The per-member transfer list file, "<home>/<pseudo>.xml": SaveLoad writes
// both lists at the end of a session, OpenLoad re-creates them after the
// next log-in. No other code reads or writes that file.
//
// Wiring: OpenLoad's signals drive the info bar and pBarLoading —
// loadingStarted: AffichInfo(LoadingText, no limit) and show the bar;
// progressMaximum / progressPosition: the bar; loadingFinished: hide the bar
// and the info bar. loadingFinished comes after every loadingStarted, error
// or not.
class TransferListStore : public QObject
{
    Q_OBJECT

public:
    static const QString LoadingText; // "Chargement de la liste de téléchargements..."

    // homeDir: the program's folder (AppEnvironment::homeDir).
    TransferListStore(TransferListHost &host, const QString &homeDir, QObject *parent = nullptr);

    // homeDir + "/" + pseudo + ".xml". A path separator inside the pseudonym
    // becomes '_', so the file always lands in the program's folder.
    QString listFilePath(const QString &pseudo) const;

    // Writes both lists of the host to the member's file, replacing it
    // atomically: a crash while saving leaves the previous file whole.
    // Throws VoxlaneError when the file cannot be written; the caller's
    // operation (log-out, exit) ends there and the lists stay as they are.
    void SaveLoad(const QString &pseudo);

    // If the member's file exists, re-creates every entry through the host:
    // downloads first, then uploads, in file order. Never throws: a failure
    // goes to the general error report once, loading stops there (panels
    // already made stay) and the file is renamed aside with a ".bad" suffix
    // so that the end of this session cannot write an emptier list over it.
    // Returns false when it reported an error. A missing "Info", or a
    // missing section that "Info" announces, is not an error.
    bool OpenLoad(const QString &pseudo, const QString &tempPath);

    bool isLoading() const { return m_loading; }

    // Stops a load in progress after the entry being made (a log-out while
    // the list is still loading). A SaveLoad meanwhile keeps the entries not
    // loaded yet, after the host's own, so they are not lost.
    void abortLoading() { m_abort = true; }

    // The name a broken list file is moved to: path + ".bad", or ".bad2",
    // ".bad3"... when that is taken.
    static QString asideName(const QString &path);

signals:
    void loadingStarted();
    void progressMaximum(int maximum);
    void progressPosition(int position);
    void loadingFinished();

private:
    void load(const QString &path, const QString &tempPath);

    TransferListHost &m_host;
    QString m_homeDir;
    bool m_loading = false;
    bool m_abort = false;
    // Entries of the file being loaded that have no panel yet.
    QList<TransferRecord> m_pendingDownloads, m_pendingUploads;
};
