#pragma once

#include "transfer/TransferListHost.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QTimer;

// The per-member transfer list file, "<home>/<pseudo>.xml": SaveLoad writes
// both lists at the end of a session, OpenLoad re-creates them after the
// next log-in. No other code reads or writes that file.
//
// During a session (beginSession to endSession) the file follows the lists
// by itself, so that a crash or a power cut loses at most a little progress
// and never a transfer: requestSave() (a transfer made, finished, paused,
// cancelled or removed) saves at the next turn of the event loop, and the
// lists are saved every AutoSaveIntervalMs when anything changed. A file is
// written only when it would differ from the last one written. A save that
// fails leaves the previous file whole; the first failure of a streak is
// told with autoSaveFailed.
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
    static constexpr int AutoSaveIntervalMs = 30000;

    // homeDir: the program's folder (AppEnvironment::homeDir).
    TransferListStore(TransferListHost &host, const QString &homeDir, QObject *parent = nullptr);

    // homeDir + "/" + pseudo + ".xml". A path separator inside the pseudonym
    // becomes '_', so the file always lands in the program's folder.
    QString listFilePath(const QString &pseudo) const;

    // Writes both lists of the host to the member's file, replacing it
    // atomically: a crash while saving leaves the previous file whole, and
    // so does a full disk (every step of the writing is checked, the flush
    // to the disk included). Throws VoxlaneError when the file cannot be
    // written; the caller's operation (log-out, exit) ends there and the
    // lists stay as they are. Entries that could not be re-created at
    // log-in are written too, after the others.
    void SaveLoad(const QString &pseudo);

    // If the member's file exists, re-creates every entry through the host:
    // downloads first, then uploads, in file order. Never throws. An entry
    // that cannot be made (its port taken, a number that is not one) is
    // reported, once for all of them, and kept for the session's saves, so
    // that it comes back at the next log-in; the others are made all the
    // same. Only a file that is not a list at all (not XML) is renamed aside
    // with a ".bad" suffix, so that the end of this session cannot write an
    // emptier list over it. Returns false when it reported an error. A
    // missing or unreadable "Info", or a missing section, is not an error:
    // every section there is read.
    //
    // A download's partial file is its own ("<IDTel>_<name>" in tempPath,
    // TransferJob::partialFileName); the transferred count is its size. A
    // list of an older client names the partial file by the file name alone:
    // such a file, not longer than the download, becomes the download's own.
    bool OpenLoad(const QString &pseudo, const QString &tempPath);

    // The saves of a session: from now on the file of pseudo follows the
    // lists; endSession stops that (before the lists are emptied at a
    // log-out) and forgets the entries kept from the loading.
    void beginSession(const QString &pseudo);
    void endSession();
    QString sessionPseudo() const { return m_sessionPseudo; }
    // Saves at the next turn of the event loop.
    void requestSave();
    // Saves now when the lists changed since the last save (or the last
    // save failed). False when it failed.
    bool autoSave();
    // Entries kept from the loading, not made (see OpenLoad).
    QList<TransferRecord> keptDownloads() const { return m_keptDownloads; }
    QList<TransferRecord> keptUploads() const { return m_keptUploads; }

    bool isLoading() const { return m_loading; }

    // Stops a load in progress after the entry being made (a log-out while
    // the list is still loading). A SaveLoad meanwhile keeps the entries not
    // loaded yet, after the host's own, so they are not lost.
    void abortLoading() { m_abort = true; }

    // The name a broken list file is moved to: path + ".bad", or ".bad2",
    // ".bad3"... when that is taken.
    static QString asideName(const QString &path);

signals:
    // An automatic save failed after the last one succeeded; reason says why.
    void autoSaveFailed(const QString &reason);
    // The member's file now holds the lists as they are.
    void saved();
    void loadingStarted();
    void progressMaximum(int maximum);
    void progressPosition(int position);
    void loadingFinished();

private:
    QStringList load(const QString &path, const QString &tempPath);
    QByteArray document();
    void write(const QString &pseudo, const QByteArray &bytes);

    TransferListHost &m_host;
    QString m_homeDir;
    bool m_loading = false;
    bool m_abort = false;
    // Entries of the file being loaded that have no panel yet.
    QList<TransferRecord> m_pendingDownloads, m_pendingUploads;
    // The entry being made: no longer pending, not in a list yet while its
    // making lets events run (an error box), when a save may come.
    std::optional<TransferRecord> m_making;
    bool m_makingDownload = false;
    // Entries that could not be made at log-in, saved with the others.
    QList<TransferRecord> m_keptDownloads, m_keptUploads;
    QString m_sessionPseudo;
    QByteArray m_lastSaved; // what the file holds, as this session last wrote it
    bool m_failing = false; // the last automatic save failed
    QTimer *m_soon = nullptr;
    QTimer *m_periodic = nullptr;
};
