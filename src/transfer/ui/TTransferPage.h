#pragma once

#include "transfer/TransferHighlight.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TfrmPropriete.h"

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

class AvatarCache;
class DialogService;
class FileTypeIcons;
class QAction;
class QMenu;
class QScrollArea;
class ServiceSession;
class SettingsStore;
class TfrmPropriete;
class TRbButton;
class TransferJob;
class TvzkLoadPanel;

// One page of transfers: "Téléchargements en cours" (TabSheet2: the scroll
// box SBDown, "Nettoyer" btnNettoyer) or "Envois en cours" (TabSheet3: SBUp,
// btnNettoyer2). It shows the jobs of one list of the transfer manager, one
// panel each, stacked in list order, made when the manager announces a job
// and dropped when it removes one. What the member does with the list is
// here too: the highlight and selection of a panel, scrolling, the context
// menu PopupMenu1 and its commands, "Nettoyer", and the properties window.
// Every command acts on this page's selection while the page is on show,
// and does nothing when that transfer is gone meanwhile (it may finish or be
// removed while the menu or a question is open).
class TTransferPage : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kStackStep = 78; // 75-pixel panels, 3 pixels apart
    static constexpr quint32 kFondFrom = 12119799; // 0xB8EEF7
    static constexpr quint32 kFondTo = 9754338; // 0x94D6E2

    TTransferPage(TransferManager::List list, TransferManager &transfers, ServiceSession &session,
        AvatarCache &avatars, SettingsStore &settings, DialogService &dialogs, const FileTypeIcons &icons,
        QWidget *parent = nullptr);
    ~TTransferPage() override;

    // The properties window of the program ("Propriétés"), made after the
    // main window.
    void setPropertiesWindow(TfrmPropriete *window) { m_properties = window; }

    TransferManager::List list() const { return m_list; }
    // The panel of a job of this page's list, or nullptr.
    TvzkLoadPanel *panelOf(const TransferJob *job) const;
    // The panels in stack order.
    QList<TvzkLoadPanel *> panels() const { return m_panels; }
    // The name ("Tel" + IDTel) of the panel last selected (SelectedDownload
    // or SelectedUpload); kept after that panel is removed until the next
    // click replaces it.
    QString selection() const { return m_highlight.selection(); }
    // The selected transfer while it is still listed, or nullptr.
    TransferJob *selectedJob() const;
    // A new session: no highlight, no selection.
    void clearSelection();

    // Stock pictures of imgListeIco: 0 an ordinary file, 1 a program.
    static QPixmap StockPicture(int index);
    // The picture shown for an extension: the registered one, else picture
    // 1 for exactly ".exe", else picture 0.
    QPixmap PictureFor(const QString &extension) const;

    // Handlers.
    // Mouse-up on a panel's background picture, with the mouse at global.
    void vzkLoadPanelClick(TvzkLoadPanel *panel, Qt::MouseButton button, const QPoint &global);
    // A press in the box (SBDownClick / SBUpClick): the box takes the focus.
    void SBDownClick();
    // Moves the box by minus delta / 5 (24 pixels for a notch of 120).
    void SBDownMouseWheel(int wheelDelta);
    void PopupMenu1Popup();
    void Ouvrir1Click();
    void Ouvrirledossiercontenant1Click();
    void Lecture1Click();
    void Pause1Click();
    void Annuler1Click();
    void Proprits1Click();
    void btnNettoyerClick();
    // The page comes on show (TabSheet2Show / TabSheet3Show).
    void TabSheet2Show();

    QMenu *popupMenu() const { return m_popupMenu; }
    QAction *pauseAction() const { return m_pause; }

signals:
    // "Lecture": the media page plays path.
    void playRequested(const QString &path);
    // "Ouvrir": nothing on the desktop could open the file.
    void openFailed(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenu();
    void jobAdded(TransferJob *job, bool peerOnline);
    void jobStarted(TransferJob *job);
    void jobRemoved(TransferJob *job);
    void updateCleanButton();
    bool isCurrentPage() const;
    QStringList names() const;
    TvzkLoadPanel *panelNamed(const QString &name) const;
    TvzkLoadPanel *selectedPanel() const;
    void paint(TvzkLoadPanel *panel, bool highlighted);

    TransferManager::List m_list;
    TransferManager &m_transfers;
    ServiceSession &m_session;
    AvatarCache &m_avatars;
    SettingsStore &m_settings;
    DialogService &m_dialogs;
    const FileTypeIcons &m_icons;
    QPointer<TfrmPropriete> m_properties;

    // The box goes before the page when the window's children are
    // destroyed one by one; events may still come meanwhile.
    QPointer<QScrollArea> m_box;
    TRbButton *m_cleanButton = nullptr;
    QMenu *m_popupMenu = nullptr;
    QAction *m_open = nullptr;
    QAction *m_openFolder = nullptr;
    QAction *m_play = nullptr;
    QAction *m_pause = nullptr;
    QAction *m_cancel = nullptr;
    QAction *m_propertiesAction = nullptr;

    QList<TvzkLoadPanel *> m_panels;
    TransferHighlight m_highlight;
};
