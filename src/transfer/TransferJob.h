#pragma once

#include "transfer/DataReceiver.h"
#include "transfer/DataSender.h"
#include "transfer/DataTunnel.h"
#include "transfer/PeerKeys.h"
#include "transfer/PrefixHasher.h"
#include "transfer/TransferListDocument.h"
#include "transfer/TransferRate.h"

#include <QElapsedTimer>
#include <QObject>

#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>

class QTimer;

// One transfer without its looks: the data connection (the listening socket
// of a download, the outgoing socket of an upload), the file being written
// or read, and the transfer's saved properties. It reports what a view shows
// through signals; TvzkLoadPanel is that view.
//
//   download: Port, TempPath (partial files), FichierName (the only name a
//             header may carry), FichierPath (where the finished file goes),
//             PeerAddress (the only host whose data connection is taken:
//             the one the control channel agreed with); then
//             setServerActive(true) listens on BindAddress:Port.
//   upload:   Port, FichierPath (the file sent), FichierTel; then
//             setClientActive(true) connects to ClientAddress:Port.
//
// BindAddress is the address the client listens on (empty: every
// interface). Making a socket inactive (pause) ends the connection; the
// transfer resumes from FichierTel when it is made active again. FichierTel
// and Status are kept current for saving: a download counts the bytes its
// partial file really holds, an upload the bytes it has sent. While a
// connection has an accepted header, any other connection is closed at
// once. OnTelTermine is emitted once when the transfer completes; a
// completed download never writes again. In fast mode it goes on listening
// (also when restored with Status "0") so that a sender that lost the
// verdict can come back and learn it from the finished file; it takes
// nothing else. Destroying the job closes its sockets; a partial download
// stays in TempPath for later.
//
// Reading a file back for its hash (a fast connection that resumes, or a
// receiver whose hash in memory is out of date) runs on a worker; the
// connection meanwhile carries keep-alives (KeepAlivesPerStall per stall
// limit) so that neither side takes the wait for a stall.
//
// All socket work runs from the event loop of the user-interface thread;
// every job has its own file and packet buffer, so any number of downloads
// and uploads run at once. Two downloads never write the same temp file:
// a download with an IDTel writes "<IDTel>_<FichierName>" there
// (partialFileName), so a leftover of another transfer with the same name
// is never taken for its own.
//
// A completed download is moved to FichierPath at once, before anyone is
// told it completed: an existing file there is replaced only when the user
// confirmed it (setReplaceConfirmed), atomically. When the move fails the
// file stays in TempPath, the status text says why and the transfer is not
// "Terminé"; the user's "Reprendre" tries the move again.
//
// The user's pause (pauseByUser) and cancel (cancelByUser) are the job's
// own states: a paused upload is not retried, a cancelled transfer never
// goes on. Between two Voxlane clients a cancel travels on the fast
// connection to the other side, which stops for good, removes its partial
// file when it is the receiver, and says who cancelled
// (Status CancelledStatus, kept in the saved list).
//
// Between two Voxlane clients with a key (setSecurity) the data connection
// switches to TLS right after the header's answer (DataTunnel): file bytes,
// acks and the final hash never travel in clear. The member at the other
// end is FichierProprio, the pseudonym the negotiation named: its key is
// remembered when a transfer with it first succeeds, and a later
// connection presenting another key is ended as soon as the handshake is
// over, before any block, with keyChangedText() as its status, until the
// user accepts the new key (acceptPeerKey()). A member whose key is
// remembered and whose connection runs in clear (the offer taken out of
// the header on the path, or a client without encryption) is stopped the
// same way, before any block, with plainRefusedText(); accepting that
// forgets the key. A connection whose TLS
// stream breaks (a byte changed on the path, a record cut short) ends like
// any other, and the transfer resumes from what was verified.
//
// What happens after an upload stops is not the job's choice: the owner
// (TransferRetries) asks wantsRetry() and calls retry().
class TransferJob : public QObject
{
    Q_OBJECT

public:
    // How long bytes may stay an incomplete packet on a download before they
    // are answered as a packet too short and dropped.
    static constexpr int PacketTimeoutMs = 5000;
    // How long a connection may go without an acknowledgement (upload) or
    // a packet (download) before it is ended as "Déconnecté", so that the
    // transfer can be resumed rather than wait for ever.
    static constexpr int StallTimeoutMs = 30000;
    static constexpr int KeepAlivesPerStall = 3;
    // Shown on both panels when the file received is not the file sent.
    static QString verificationFailedText()
    {
        return QStringLiteral("Fichier altéré : vérification échouée");
    }
    // Status of a transfer the other member cancelled: not completed, never
    // resumed. Older clients read it as any unfinished status.
    static const QString CancelledStatus;
    static QString cancelledText(const QString &pseudo) { return QStringLiteral("Annulé par ") + pseudo; }
    static QString noSpaceText() { return QStringLiteral("Disque plein"); }
    // The panel's line for either stop: one line beside the avatar and the
    // member's name; the info bar and the properties say who and what to do.
    static QString keyChangedText() { return QStringLiteral("La clé de ce membre a changé : transfert arrêté"); }
    static QString plainRefusedText() { return QStringLiteral("Connexion de ce membre en clair : transfert arrêté"); }
    // What the info bar says of either stop: who, and where to act (the
    // properties window's "Accepter la clé"); short enough for the bar.
    static QString keyStopInfoText(const QString &pseudo, bool keyChanged)
    {
        return (keyChanged ? QStringLiteral("La clé de %1 a changé : transfert arrêté.")
                           : QStringLiteral("La connexion avec %1 n'est pas chiffrée : transfert arrêté."))
                   .arg(pseudo)
            + QStringLiteral(" Voyez les propriétés du transfert.");
    }
    static QString encryptedText() { return QStringLiteral("chiffré"); }
    static QString plainText() { return QStringLiteral("non chiffré (client sans chiffrement)"); }
    static QString waitingText(const QString &pseudo) { return QStringLiteral("En attente de ") + pseudo; }
    static QString placeFailedText(const QString &why)
    {
        return QStringLiteral("Enregistrement impossible : ") + why;
    }
    // The partial file of a download in the temp folder: "<idTel>_<name>",
    // the name shortened so that the whole fits a file name (255 bytes);
    // the plain name when there is no id.
    static QString partialFileName(const QString &idTel, const QString &fichierName);

    explicit TransferJob(QObject *parent = nullptr);
    ~TransferJob() override;

    QTcpSocket *ClientSocket() const { return m_clientSocket; }
    QTcpServer *ServerSocket() const { return m_serverSocket; }

    qint32 Port() const { return m_port; }
    void setPort(qint32 port) { m_port = port; }
    QString FichierName() const { return m_fichierName; }
    void setFichierName(const QString &v);
    QString FichierProprio() const { return m_fichierProprio; }
    void setFichierProprio(const QString &v) { m_fichierProprio = v; }
    QString FichierPath() const { return m_fichierPath; }
    void setFichierPath(const QString &v) { m_fichierPath = v; }
    QString FichierPoids() const { return m_fichierPoids; }
    // A size that is not a decimal integer goes to the general error report
    // here, once; FichierPoidsValue() is 0 then.
    void setFichierPoids(const QString &v);
    qint64 FichierPoidsValue() const { return m_fichierPoidsValue; }
    // Bytes transferred: what a download's partial file holds, what an
    // upload has sent (and resumes from). Kept current as the transfer
    // moves, for the view and the saved list.
    qint64 FichierTel() const { return m_transferred; }
    void setFichierTel(qint64 v) { m_transferred = qMax<qint64>(0, v); }
    QString IDTel() const { return m_idTel; }
    void setIDTel(const QString &v);
    // The saved properties, as the transfer list keeps them, and the same
    // properties set from a record (a new or restored transfer).
    TransferRecord record() const;
    void setRecord(const TransferRecord &r);
    QString Status() const { return m_status; }
    void setStatus(const QString &v) { m_status = v; }
    QString TempPath() const { return m_receiver.tempDir(); }
    void setTempPath(const QString &v) { m_receiver.setTempDir(v); }
    // This download's partial file (TempPath and partialFileName).
    QString partialFilePath() const;
    // The user confirmed replacing an existing file at FichierPath.
    void setReplaceConfirmed(bool v) { m_replaceConfirmed = v; }
    bool replaceConfirmed() const { return m_replaceConfirmed; }
    QString BindAddress() const { return m_bindAddress; }
    void setBindAddress(const QString &v) { m_bindAddress = v; }
    QString ClientAddress() const { return m_clientAddress; }
    void setClientAddress(const QString &v) { m_clientAddress = v; }
    // Connections from any other host are closed unanswered; empty: none
    // is taken.
    QString PeerAddress() const { return m_peerAddress; }
    void setPeerAddress(const QString &v) { m_peerAddress = v; }
    // The address FichierProprio is online at now (empty: offline). A
    // download restored from the saved list was agreed in an earlier session:
    // its sender comes back from wherever it logs in next, so that address
    // is taken as well.
    std::function<QString(const QString &pseudo)> ResolvePeer;

    void setPacketTimeout(int ms);
    void setStallTimeout(int ms);
    // Fast mode asked for (upload) and granted (download); on by default.
    void setFastMode(bool enabled);
    // The setting of jobs made from now on: a test of whole clients that
    // needs a transfer still under way after a few event-loop rounds turns
    // it off (fast mode has a small file in flight at once).
    static void setFastModeByDefault(bool enabled);
    // The current or last connection runs in fast mode.
    bool isFast() const { return m_sender.isFast() || m_receiver.isFast(); }
    // This member's key and the keys remembered of the others; nullptr: no
    // encryption is offered nor granted. A job takes
    // TransferSecurity::byDefault() when it is made.
    void setSecurity(std::shared_ptr<TransferSecurity> security);
    // The current or last connection ran inside TLS.
    bool isEncrypted() const { return m_encrypted; }
    // "chiffré", "non chiffré (...)" once a connection had its header
    // answered, empty before.
    QString encryptionText() const;
    // The six digits of the last encrypted connection, the same on both
    // sides when nobody is in the middle; empty otherwise.
    QString comparisonCode() const { return m_comparisonCode; }
    // The last connection presented another key than the one remembered
    // for FichierProprio (or none, in clear), and was stopped.
    bool peerKeyChanged() const { return m_keyChanged; }
    // The user accepts the key the other member presented: it replaces
    // the one remembered (or, for a connection in clear, the key is
    // forgotten), and the next connection goes through. False when
    // there is nothing to accept or the keys could not be saved.
    bool acceptPeerKey();
    // What reads files back for their hash; tests hold it with their own.
    void setHashFunction(PrefixHasher::Function f) { m_hasher->setFunction(std::move(f)); }
    bool isHashing() const { return m_hasher->isRunning(); }
    const DataSender &dataSender() const { return m_sender; }
    const DataReceiver &dataReceiver() const { return m_receiver; }

    // Download side: listen on BindAddress:Port, or stop listening and end
    // the connection. A port that cannot be opened throws VoxlaneError with
    // the socket error text, for the general error report. A completed
    // download (Status "0") listens only to answer its sender from the
    // finished file, in fast mode, when that file is there; it never throws.
    void setServerActive(bool active);
    bool isServerActive() const { return m_serverSocket->isListening(); }
    // Upload side: connect to ClientAddress:Port, or end the connection. A
    // completed upload does not connect again.
    void setClientActive(bool active);
    bool isClientActive() const { return m_clientOpen; }

    // The speed of the running connection, smoothed over a few seconds, and
    // the time it still needs (see TransferRate); nullopt while unknown.
    std::optional<double> rate() const;
    // Bytes may still move on this connection: it is up and the transfer
    // is not finished (a finished download may keep its connection for
    // the sender's farewell).
    bool isMoving() const;
    std::optional<qint64> secondsLeft() const;
    // The clock the speed is measured with, in ms; a steady clock by default.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    // The user's "Pause" and "Reprendre": the data socket closes (a
    // download stops listening, an upload stops and is not retried) or
    // opens again. Resuming a download may throw as setServerActive does;
    // resuming a download whose move failed tries the move again.
    void pauseByUser();
    void resumeByUser();
    bool isPausedByUser() const { return m_userPaused; }
    // The user's confirmed cancel, before the job goes: the other side is
    // told over a fast connection that is up, the sockets close, and a
    // download's partial file is removed.
    void cancelByUser();
    bool isCancelled() const { return m_status == CancelledStatus; }
    // A completed download whose file could not be put at FichierPath.
    bool placementFailed() const { return m_placeFailed; }

    // Everything stops for a while (the lists are being saved at exit or
    // log-out) and starts again as it was with resumeSuspended().
    void suspend();
    void resumeSuspended();
    bool isSuspended() const { return m_suspended; }

    // Upload side: whether another connection attempt makes sense now (not
    // running, not completed, not paused, suspended or cancelled, and not
    // stopped for a reason that another attempt cannot mend).
    bool wantsRetry() const;
    // Another attempt, to the other member's current address.
    void retry(const QString &address);
    // A data connection carries the transfer (or is being made).
    bool isRunning() const;
    // Nothing moves until the other member does something: it comes online,
    // resumes, or its client connects (the caption says "en attente de").
    bool waitsForPeer() const;

signals:
    // A data connection is up: the view shows its progress.
    void connectionOpened();
    // The size of the file, once known for this connection.
    void maximumChanged(qint64 maximum);
    // Every change of FichierTel(); the view may show it later.
    void progressChanged(qint64 position);
    // The transfer stopped: progress hidden, the status text shown and set
    // to caption unless that is empty.
    void stopped(const QString &caption);
    // A socket error: progress hidden, the status text set to text.
    void socketError(const QString &text);
    // Complete: progress hidden, the status text "Terminé", shown at once
    // when showLabel (a download shows it when its sender leaves).
    void completed(bool showLabel);
    void OnTelTermine(QObject *sender);
    // The other member cancelled the transfer (Status is CancelledStatus).
    void cancelledByPeer();
    // Paused, resumed, suspended: what the view shows besides the counts.
    void stateChanged();
    // One line for the control log (the main window's reWatch): a transfer
    // attempt given up for a reason the status text cannot tell.
    void OnLog(QObject *sender, const QString &line);
    // The other member's key is not the one remembered (or it came in
    // clear): the transfer stopped before any block until the user accepts.
    // info: a line for the info bar.
    void peerKeyRefused(const QString &info);

private:
    // Download side.
    void ServerSocketClientConnect();
    void ServerSocketClientRead();
    void ServerSocketClientDisconnect();
    void ServerSocketPeerClosed();
    void finishDrain();
    void ServerSocketClientError(QAbstractSocket::SocketError error);
    void PacketTimerTimer();
    void StallTimerTimer();
    void endDownloadConnection();
    void giveUpDownloadConnection();
    bool acceptsPeer(const QTcpSocket &socket) const;
    void sendReplies(const QByteArray &replies);
    void followReceiver();
    bool deliverReceiverReplies(const QByteArray &replies);
    void onReceiverHashed(PrefixHasher::Hash hash);
    bool startReceiverHash();
    void onReceiverWritten();
    QString finishedFile() const;
    bool serveFinished();
    // Upload side.
    void ClientSocketConnect();
    void HeaderTimerTimer();
    void ClientSocketRead();
    void ClientSocketDisconnect();
    void ClientSocketError(QAbstractSocket::SocketError error);
    void completeUpload();
    void makeClientSocket();
    void removePartialFile();
    void onPeerCancelled();
    void placeDownload();
    QString downloadStopCaption() const;
    QString uploadStopCaption() const;
    bool applySenderStep(const DataSender::Step &step);
    void onSenderHashed(PrefixHasher::Hash hash);
    void pumpSender();
    // Either side.
    void reportSocketError(QAbstractSocket::SocketError error);
    void setTransferProgress(qint64 position);
    void startHashing(const QString &path, qint64 upTo, PrefixHasher::Done done);
    void KeepAliveTimerTimer();
    void touchStall();
    void restartStall();
    // The TLS tunnel of the current connection.
    bool startTunnel(DataTunnel::Role role, QTcpSocket &socket);
    bool pullTunnel(QTcpSocket &socket, qint64 limit);
    bool onTunnelOpened();
    void endConnection();
    void rememberPeerKey();
    bool refusesPlain();
    void stopForPeerKey(bool toldAlready);
    QString keyStopText() const;
    void sendUp(const QByteArray &bytes);
    QIODevice &downloadInput();
    bool downloadInputWaiting();

    QTcpSocket *m_clientSocket = nullptr;
    QTcpServer *m_serverSocket = nullptr;
    QPointer<QTcpSocket> m_connection; // the accepted data connection
    QTimer *m_headerTimer = nullptr;
    QTimer *m_packetTimer = nullptr;
    QTimer *m_stallTimer = nullptr;
    QTimer *m_keepAliveTimer = nullptr;
    PrefixHasher *m_hasher = nullptr;

    qint32 m_port = 0;
    QString m_fichierName, m_fichierProprio, m_fichierPath, m_fichierPoids, m_idTel, m_status;
    qint64 m_fichierPoidsValue = 0;
    QString m_bindAddress, m_clientAddress, m_peerAddress;
    qint64 m_transferred = 0;
    int m_stallMs = StallTimeoutMs;
    QElapsedTimer m_lastActivity; // the last sign of life of the connection
    TransferRate m_rate;
    std::function<qint64()> m_clock;
    qint64 now() const;

    DataReceiver m_receiver;
    int m_headersSeen = 0;
    int m_packetsSeen = 0;
    bool m_downloadNotified = false; // sticky: one completion per job
    QString m_finishedFile; // where this session's finished download stands
    DataSender m_sender;
    bool m_clientOpen = false; // an upload attempt is under way
    bool m_verifyFailed = false; // the receiver found another file than ours
    bool m_download = false; // set up as a download (setServerActive)
    bool m_replaceConfirmed = false;
    bool m_placeFailed = false; // received whole, but not put at FichierPath
    bool m_noSpace = false; // the last connection stopped on a full disk
    bool m_userPaused = false;
    bool m_suspended = false;
    bool m_resumeListening = false; // what suspend() stopped
    bool m_resumeConnecting = false;
    bool m_retryUseless = false; // the upload stopped for a lasting reason
    std::shared_ptr<TransferSecurity> m_security;
    std::unique_ptr<DataTunnel> m_tunnel; // the current connection's, once switched
    bool m_encrypted = false; // the last connection that got so far ran in TLS
    bool m_plainPeer = false; // the last one had its header answered without TLS
    bool m_headerJudged = false; // this upload connection's answer was looked at
    // The sender closed while the tunnel still held what it sent before:
    // taken as the writes catch up, then the connection ends.
    bool m_peerClosed = false;
    bool m_keyChanged = false;
    QByteArray m_presentedKey; // the other side's key on the last TLS connection
    QString m_comparisonCode;
};
