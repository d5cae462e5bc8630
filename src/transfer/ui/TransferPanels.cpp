#include "transfer/ui/TransferPanels.h"

#include "base/DrawingHelpers.h"
#include "base/ErrorReport.h"
#include "transfer/ui/LoadPanelRecord.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QCoreApplication>

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>

TransferPanels::TransferPanels(
    TransferManager *manager, QScrollArea *downloads, QScrollArea *uploads, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_downloads(downloads)
    , m_uploads(uploads)
{
}

QPixmap TransferPanels::StockPicture(int index)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (index == 1) {
        // A program: a window with a title bar.
        p.setPen(QPen(QColor(0, 0, 128), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 6.5, 25, 20));
        p.fillRect(QRectF(4, 7, 24, 5), QColor(0, 0, 128));
    } else {
        // A sheet with a folded corner.
        QPolygonF sheet;
        sheet << QPointF(7.5, 2.5) << QPointF(20.5, 2.5) << QPointF(26.5, 8.5) << QPointF(26.5, 29.5)
              << QPointF(7.5, 29.5);
        p.setPen(QPen(QColor(96, 96, 96), 1));
        p.setBrush(Qt::white);
        p.drawPolygon(sheet);
        p.drawLine(QPointF(20.5, 2.5), QPointF(20.5, 8.5));
        p.drawLine(QPointF(20.5, 8.5), QPointF(26.5, 8.5));
    }
    return pixmap;
}

QPixmap TransferPanels::PictureFor(const QString &extension) const
{
    if (IconForExtension) {
        const QPixmap registered = IconForExtension(extension);
        if (!registered.isNull())
            return registered;
    }
    return StockPicture(extension == QStringLiteral(".exe") ? 1 : 0);
}

QObject *TransferPanels::CreatePanel(const TransferInfo &t, int position, bool peerOnline)
{
    QScrollArea *box = t.download ? m_downloads : m_uploads;
    QWidget *content = box->widget();
    auto *panel = new TvzkLoadPanel(content);
    panel->hide();
    panel->setCaptionLabelIcone(t.pseudo);
    panel->setCaptionLabelLoad(t.download ? t.fileName : t.filePath);

    // Stack position: the content widget scrolls, so a panel placed at
    // i * 78 in it stands at i * 78 minus the scroll position on screen.
    const int top = position * kStackStep;
    const int width = box->viewport()->width() - 10;
    if (content->height() < top + kStackStep)
        content->resize(box->viewport()->width(), top + kStackStep);
    panel->setGeometry(8, top, width, panel->height());
    panel->PictureFond()->resize(panel->PictureFond()->width(), 50);

    panel->setObjectName(QStringLiteral("Tel") + t.id);
    panel->setProperty("Tag", 0);
    connect(panel, &TvzkLoadPanel::OnClick, this, [this, panel] { emit PanelClicked(panel); });
    // The context menu opens only through the mouse-up handler of the list
    // operations, never by the panel itself.
    if (PanelEvents)
        panel->installEventFilter(PanelEvents);
    connect(panel, &TvzkLoadPanel::OnTelTermine, m_manager,
        t.download ? &TransferManager::DownTermine : &TransferManager::UpTermine);

    panel->setFichierName(t.fileName);
    panel->setFichierProprio(t.pseudo);
    panel->setFichierPoids(t.size);
    panel->setFichierTel(t.count);
    panel->setFichierPath(t.filePath);
    panel->setIDTel(t.id);
    panel->setPort(t.port);
    panel->setStatus(t.status);
    panel->setPeerAddress(t.peerAddress);
    panel->job()->ResolvePeer = m_manager->GetIP;
    panel->job()->setReplaceConfirmed(t.replaceConfirmed);
    if (TempPath)
        panel->setTempPath(TempPath());
    panel->setBindAddress(BindAddress);

    const bool done = t.status == QStringLiteral("0");
    const bool cancelled = t.status == TransferJob::CancelledStatus;
    // What it holds is shown before any connection: a restored transfer
    // says how far it went.
    qint64 count = 0;
    if (done)
        count = panel->job()->FichierPoidsValue();
    else if (!t.count.isEmpty())
        count = t.count.toLongLong();
    panel->setInitialProgress(count);

    // A finished download listens too (it never throws then): it answers a
    // sender that never learnt it completed.
    if (t.download) {
        try {
            panel->setServerActive(true);
        } catch (const VoxlaneError &error) {
            // The port is held by someone else: no panel, no list entry.
            delete panel;
            ErrorReport::report(error.message());
            return nullptr;
        }
    }

    QImage fond(qMax(1, panel->PictureFond()->width()), 50, QImage::Format_RGB32);
    DrawingHelpers::Degrade(fond, true, kFondFrom, kFondTo);
    panel->PictureFond()->setPixmap(QPixmap::fromImage(fond));
    panel->PictureIco()->setPixmap(PictureFor(t.extension));

    if (done)
        panel->showStatus(QStringLiteral("Terminé"), true);
    else if (cancelled)
        panel->showStatus(TransferJob::cancelledText(t.pseudo));
    else if (!peerOnline)
        panel->showStatus(
            t.download ? QStringLiteral("Source non trouvée") : QStringLiteral("Destinataire non connecté"));
    else
        panel->showStatus(TransferJob::waitingText(t.pseudo));
    // Started last, so that a connection that opens at once shows its bar.
    if (!t.download && peerOnline && !done && !cancelled) {
        panel->setClientAddress(t.peerAddress);
        panel->setClientActive(true);
    }
    panel->show();
    return panel;
}

TransferJob *TransferPanels::JobOf(QObject *panel) const
{
    auto *p = qobject_cast<TvzkLoadPanel *>(panel);
    return p ? p->job() : nullptr;
}

void TransferPanels::PanelListed(QObject *panel, const TransferInfo &t)
{
    // Fetching the avatar lets events run; the panel may go meanwhile.
    const QPointer<TvzkLoadPanel> alive(qobject_cast<TvzkLoadPanel *>(panel));
    if (alive && AvatarLoader)
        AvatarLoader(t.pseudo, alive->PictureLoad());
}

TvzkLoadPanel *TransferPanels::panelNamed(const QString &name) const
{
    for (QScrollArea *box : { m_downloads, m_uploads }) {
        if (auto *panel = box->widget()->findChild<TvzkLoadPanel *>(name, Qt::FindDirectChildrenOnly))
            return panel;
    }
    return nullptr;
}

namespace {

QList<TransferRecord> recordsOf(const TransferPanels &panels, const QStringList &names)
{
    QList<TransferRecord> records;
    for (const QString &name : names) {
        // A name whose panel is gone has nothing left to save.
        if (const TvzkLoadPanel *panel = panels.panelNamed(name))
            records.append(LoadPanelRecord::of(*panel));
    }
    return records;
}

} // namespace

QList<TransferRecord> TransferPanels::downloadRecords() const
{
    return recordsOf(*this, m_manager->DownloadList);
}

QList<TransferRecord> TransferPanels::uploadRecords() const
{
    return recordsOf(*this, m_manager->UploadList);
}

void TransferPanels::NewDownload(const TransferRecord &r)
{
    if (!m_manager->NewDownload(
            r.IDTel, r.FichierProprio, r.FichierName, r.FichierPoids, r.FichierTel, r.FichierPath, r.Port, r.Status))
        throw VoxlaneError(QStringLiteral("Le téléchargement de %1 n'a pas pu être repris.").arg(r.FichierName));
}

void TransferPanels::NewUpload(const TransferRecord &r, const QString &address)
{
    if (!m_manager->NewUpload(
            r.IDTel, r.FichierProprio, r.FichierPath, r.FichierPoids, r.FichierTel, address, r.Port, r.Status))
        throw VoxlaneError(QStringLiteral("L'envoi de %1 n'a pas pu être repris.").arg(r.FichierPath));
}

QString TransferPanels::GetIP(const QString &pseudo) const
{
    return m_manager->GetIP ? m_manager->GetIP(pseudo) : QString();
}

void TransferPanels::processPendingEvents()
{
    QCoreApplication::processEvents();
}
