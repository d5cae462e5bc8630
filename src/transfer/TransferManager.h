#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class TransferJob;
class TransferRetries;

// One transfer to be shown as a panel, as the creation operations receive it.
struct TransferInfo
{
    bool download = true;
    QString id; // IDTel; the panel is named "Tel" + id
    QString pseudo; // the peer
    QString fileName; // without folder
    QString filePath; // download: where the finished file goes; upload: the file sent
    QString size; // bytes, decimal
    QString count; // bytes already moved, decimal
    int port = 0;
    QString status; // "0": completed
    QString peerAddress; // download: where the data connection comes from; upload: where it goes
    QString extension; // ExtractFileExt of the name the icon is chosen by
    bool replaceConfirmed = false; // download: the user agreed to replace an existing file
};

// The panels themselves: made, placed, painted and started by the user
// interface. The manager keeps the lists and the order of the steps.
class TransferView
{
public:
    virtual ~TransferView() = default;
    // Makes the panel of t at stack position `position` of its list, with
    // `peerOnline` telling whether the peer has an address now. Returns the
    // panel, or nullptr when a download's data port cannot be opened (then
    // nothing of the panel is left, and the cause has been reported). It
    // must not let events run: the panel is not in its list yet.
    virtual QObject *CreatePanel(const TransferInfo &t, int position, bool peerOnline) = 0;
    // The transfer behind a panel made by CreatePanel.
    virtual TransferJob *JobOf(QObject *panel) const = 0;
    // The panel is in its list: what may let events run (fetching the
    // peer's avatar) comes now. The panel may be gone when it returns.
    virtual void PanelListed(QObject *panel, const TransferInfo &t)
    {
        Q_UNUSED(panel);
        Q_UNUSED(t);
    }
};

// Creation and completion of transfers: the download and upload lists (the
// panels' names, in stack order), the last panel made, transfer ids, and the
// uploads that go on by themselves (Retries).
class TransferManager : public QObject
{
    Q_OBJECT

public:
    explicit TransferManager(QObject *parent = nullptr);
    ~TransferManager() override;

    std::function<QString(const QString &pseudo)> GetIP; // empty: not online
    std::function<int()> UserId;
    std::function<QDateTime()> Now; // local time; the clock by default
    TransferView *View = nullptr;
    // The uploads' further attempts; its clock is the tests' to set.
    TransferRetries *Retries = nullptr;

    QStringList DownloadList;
    QStringList UploadList;
    QPointer<QObject> LastPanel;

    // The member id then the local time as "YYYYMMDDHHNNSSzzz". Stamps only
    // go up during a run, whoever is logged in: a stamp not later than the
    // last one given (same millisecond, clock set back, another member's
    // ids) is the last one plus a millisecond, so ids never repeat and the
    // call never loops. Ids met otherwise (restored from a saved list) are
    // noted through NoteTransferId.
    QString NewTransferId();
    void NoteTransferId(const QString &id);

    // A download of this client holds port for an unfinished transfer: it
    // listens on it, or will again once resumed.
    bool PortHeld(int port) const;
    // A new download takes port: finished downloads that still listen on it
    // (for a sender coming back for its verdict) give it up.
    void ReleasePort(int port);

    // From the last "." to the end, the "." included; empty without ".".
    static QString ExtractFileExt(const QString &name);

    // A file received from pseudo. peerAddress is where its data connection
    // is expected from (the offer's address; GetIP(pseudo) when empty).
    // replaceConfirmed: the user agreed to replace the file at path, which
    // the finished download then replaces; otherwise an existing file there
    // is never touched. False when the panel could not listen on its port:
    // it is then not in the list and its port not recorded.
    bool NewDownload(const QString &id, const QString &pseudo, const QString &fileName, const QString &size,
        const QString &count, const QString &path, int port, const QString &status,
        const QString &peerAddress = QString(), bool replaceConfirmed = false);
    // A file sent to pseudo; address is not used (the peer's address comes
    // from GetIP at creation, and at each further attempt).
    bool NewUpload(const QString &id, const QString &pseudo, const QString &path, const QString &size,
        const QString &count, const QString &address, int port, const QString &status);

    // Completion notices of the panels (the sender is ignored).
    void DownTermine(QObject *sender);
    void UpTermine(QObject *sender);

    // The transfer of a list entry ("Tel" + IDTel), or nullptr.
    TransferJob *JobNamed(const QString &name) const;
    // The summed speed of the running downloads and of the running uploads;
    // nullopt for a list where none runs.
    struct Rates
    {
        std::optional<double> download, upload;
    };
    Rates TotalRates() const;
    // A download in the list saves to path (under way or done).
    bool DownloadsTo(const QString &path) const;
    // The presence poll answered (Retries).
    void PresenceChanged();
    // Stops every transfer (while the lists are saved at exit or log-out,
    // so that nothing changes after the save) and starts them again as
    // they were (the save failed and the client goes on).
    void SuspendAll();
    void ResumeAll();
    // A list entry was removed or changed by the user (cancel, clean).
    void NoteListChanged() { emit ListChanged(); }

signals:
    void Popup(const QString &pseudo, const QString &text, int kind);
    // A transfer holds port for its data connection (owner: its id); the
    // control channel records it so that no other offer is given it.
    void AddPort(int port, const QString &owner);
    // What the saved lists hold changed: a transfer was made, completed,
    // paused or resumed, cancelled, removed.
    void ListChanged();
    // A transfer was made (or restored) and is in its list.
    void JobFollowed(TransferJob *job, bool upload);

private:
    QList<TransferJob *> downloadJobs() const;
    void follow(const QString &name, QObject *panel, bool upload);

    qint64 m_lastStamp = 0; // the digits of the last stamp given or noted
    QHash<QString, QPointer<TransferJob>> m_jobs;
};
