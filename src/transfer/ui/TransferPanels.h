#pragma once

#include "transfer/TransferListHost.h"
#include "transfer/TransferManager.h"

#include <QObject>
#include <QPixmap>
#include <QPointer>

#include <functional>

class QLabel;
class QMenu;
class QScrollArea;
class TvzkLoadPanel;

// The panels of the two transfer lists: made in the downloads or uploads
// scroll box at their stack position, painted, given their icon and started.
// It is also what the transfer list file reads the panels from and re-creates
// them through.
class TransferPanels : public QObject, public TransferView, public TransferListHost
{
    Q_OBJECT

public:
    static constexpr int kStackStep = 78; // 75-pixel panels, 3 pixels apart
    static constexpr quint32 kFondFrom = 12119799; // 0xB8EEF7
    static constexpr quint32 kFondTo = 9754338; // 0x94D6E2
    static constexpr quint32 kTermineColor = 9259811;

    TransferPanels(
        TransferManager *manager, QScrollArea *downloads, QScrollArea *uploads, QObject *parent = nullptr);

    QObject *CreatePanel(const TransferInfo &t, int position, bool peerOnline) override;
    TransferJob *JobOf(QObject *panel) const override;
    void PanelListed(QObject *panel, const TransferInfo &t) override;

    // The panel of a list entry ("Tel" + IDTel), or nullptr once it is gone.
    TvzkLoadPanel *panelNamed(const QString &name) const;

    // TransferListHost
    QList<TransferRecord> downloadRecords() const override;
    QList<TransferRecord> uploadRecords() const override;
    // Throw VoxlaneError when the panel cannot be made (its data port is
    // taken), so that loading stops there and the rest of the file is kept.
    void NewDownload(const TransferRecord &record) override;
    void NewUpload(const TransferRecord &record, const QString &address) override;
    QString GetIP(const QString &pseudo) const override;
    void processPendingEvents() override;

    // Installed on every panel made: sees the mouse releases on its
    // background (the list operations' vzkLoadPanelClick).
    QPointer<QObject> PanelEvents;

    // Where panels listen (empty: every interface) and keep partial files.
    QString BindAddress;
    std::function<QString()> TempPath;
    QPointer<QMenu> PopupMenu1;
    // The file-type picture of an extension; a null picture means "none
    // registered", and the stock picture stands in.
    std::function<QPixmap(const QString &extension)> IconForExtension;
    // The peer's avatar into the panel's picture (GetAvatar).
    std::function<void(const QString &pseudo, QLabel *target)> AvatarLoader;

    // Stock pictures of imgListeIco: 0 an ordinary file, 1 a program.
    static QPixmap StockPicture(int index);
    // The picture shown for an extension: the registered one, else picture
    // 1 for exactly ".exe", else picture 0.
    QPixmap PictureFor(const QString &extension) const;

signals:
    // A mouse-up on a panel's background (vzkLoadPanelClick).
    void PanelClicked(TvzkLoadPanel *panel);

private:
    TransferManager *m_manager;
    QScrollArea *m_downloads;
    QScrollArea *m_uploads;
};
