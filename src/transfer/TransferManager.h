#pragma once

#include "transfer/TransferIds.h"
#include "transfer/TransferListHost.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class PresenceMonitor;
class ServiceSession;
class SettingsStore;
class TransferJob;
class TransferRetries;
struct TransferSecurity;

// The transfers of the session: it makes every TransferJob, keeps the
// downloads and the uploads in list order (the order their panels stack
// in), and removes them. Views follow it by its signals: jobAdded makes a
// panel, jobRemoved drops it; nothing outside looks a transfer up by a
// widget. It is also what the transfer list file reads the lists from and
// re-creates them through (TransferListHost), and what keeps the uploads
// going on by themselves (retries()).
//
// A job is set up here from what the negotiation or the saved list says:
// a download listens on its port at once, an upload to an online
// recipient connects at once.
class TransferManager : public QObject, public TransferListHost
{
    Q_OBJECT

public:
    enum class List { Downloads, Uploads };
    // How long the info bar shows a stopped transfer's reason.
    static constexpr int KeyInfoMs = 10000;

    // bindAddress: where data sockets listen and leave from (empty: every
    // interface). The temp folder of new downloads is the settings' one.
    TransferManager(ServiceSession &session, PresenceMonitor &presence, SettingsStore &settings,
        const QString &bindAddress, QObject *parent = nullptr);
    ~TransferManager() override;

    // The local time transfer ids are made of; the clock by default.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    // This member's key and the keys remembered of the others: every
    // transfer made from now on encrypts with them where the peer can.
    // Without it (a folder that cannot hold the key) transfers offer no
    // encryption.
    void setSecurity(std::shared_ptr<TransferSecurity> security) { m_security = std::move(security); }
    // The uploads' further attempts; its clock is the tests' to set.
    TransferRetries &retries() const { return *m_retries; }

    // The member id then the local time as "YYYYMMDDHHNNSSzzz", never
    // twice during a run (see TransferIds).
    QString NewTransferId();

    // A download of this client holds port for an unfinished transfer: it
    // listens on it, or will again once resumed.
    bool PortHeld(int port) const;
    // A new download takes port: finished downloads that still listen on it
    // (for a sender coming back for its verdict) give it up.
    void ReleasePort(int port);

    // From the last "." to the end, the "." included; empty without ".".
    static QString ExtractFileExt(const QString &name);

    // A file received: record says what it is (FichierName, FichierProprio
    // the sender, FichierPath where the finished file goes, FichierPoids,
    // FichierTel what the partial file holds, Port, Status). peerAddress is
    // where its data connection is expected from (the offer's address; the
    // sender's current address when empty). replaceConfirmed: the user
    // agreed to replace the file at FichierPath, which the finished download
    // then replaces; otherwise an existing file there is never touched.
    // False when it could not listen on its port (reported): it is then not
    // listed and its port not recorded.
    bool NewDownload(const TransferRecord &record, const QString &peerAddress = QString(),
        bool replaceConfirmed = false);
    // A file sent: FichierPath is the file, FichierProprio the recipient,
    // whose current address it connects to; the name comes from the path.
    bool NewUpload(const TransferRecord &record);

    // The transfers in list order.
    const QList<TransferJob *> &downloads() const { return m_downloads; }
    const QList<TransferJob *> &uploads() const { return m_uploads; }
    const QList<TransferJob *> &jobs(List list) const { return list == List::Downloads ? m_downloads : m_uploads; }
    // The transfer of an id, or nullptr.
    TransferJob *job(const QString &idTel) const;
    // The list of a job of this manager.
    List listOf(const TransferJob *job) const;
    bool contains(const TransferJob *job) const;

    // Removes one transfer: its view goes, then the job with its sockets;
    // the file on disk and the port stay.
    void KillTel(TransferJob *job);
    // The user's confirmed cancel: the other side is told when it can be,
    // a partial download goes, and the transfer is removed.
    void Cancel(TransferJob *job);
    // "Nettoyer": the transfers of a list that are over (finished, or
    // cancelled by the other member) go, from the last one up.
    void RemoveFinished(List list);
    // The end of a session: every transfer goes.
    void ClearTransfers();

    // The presence poll answered (the retries).
    // The summed speed of the running downloads and of the running uploads;
    // nullopt for a list where none runs.
    struct Rates
    {
        std::optional<double> download, upload;
    };
    Rates TotalRates() const;
    // A download in the list saves to path (under way or done).
    bool DownloadsTo(const QString &path) const;

    void PresenceChanged();
    // Stops every transfer (while the lists are saved at exit or log-out,
    // so that nothing changes after the save) and starts them again as
    // they were (the save failed and the client goes on).
    void SuspendAll();
    void ResumeAll();

    // TransferListHost
    QList<TransferRecord> downloadRecords() const override;
    QList<TransferRecord> uploadRecords() const override;
    // Throw VoxlaneError when the transfer cannot be made (its data port
    // is taken), so that the loader keeps that entry.
    void restoreDownload(const TransferRecord &record) override;
    void restoreUpload(const TransferRecord &record, const QString &address) override;
    QString GetIP(const QString &pseudo) const override;
    void processPendingEvents() override;

signals:
    // A job is in its list, at the end: its view is made now. peerOnline:
    // the other member had an address when it was made. Nothing may let
    // events run here, the job is not started yet.
    void jobAdded(TransferJob *job, bool peerOnline);
    // The job has started: what may let events run (fetching the peer's
    // avatar) comes now. The job may be gone when it returns.
    void jobStarted(TransferJob *job);
    // The job is about to go: its view goes now.
    void jobRemoved(TransferJob *job);
    void Popup(const QString &pseudo, const QString &text, int kind);
    // A transfer holds port for its data connection (owner: its id); the
    // control channel records it so that no other offer is given it.
    void AddPort(int port, const QString &owner);
    // What the saved lists hold changed: a transfer was made, completed,
    // paused or resumed, cancelled, removed.
    void ListChanged();
    // One line for the control log: a transfer attempt given up for a
    // reason its status text cannot tell.
    void Log(const QString &line);
    // A line for the info bar: a transfer stopped for a reason the user
    // must act on (another member's key changed).
    void Info(const QString &Text, bool Show, int Milliseconds);
    // A transfer was made (or restored) and is in its list.
    void JobFollowed(TransferJob *job, bool upload);

private:
    TransferJob *makeJob(const TransferRecord &record, bool download);
    void list(TransferJob *job, bool download);
    void DownTermine();
    void UpTermine();

    ServiceSession &m_session;
    PresenceMonitor &m_presence;
    SettingsStore &m_settings;
    QString m_bindAddress;
    std::function<QDateTime()> m_now;
    TransferIds m_ids;
    TransferRetries *m_retries = nullptr;
    std::shared_ptr<TransferSecurity> m_security;
    QList<TransferJob *> m_downloads;
    QList<TransferJob *> m_uploads;
};
