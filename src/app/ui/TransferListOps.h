#pragma once

#include "transfer/TransferHighlight.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QMenu;
class QPoint;
class TRbButton;
class QScrollArea;
class TfrmPrincipal;
class TfrmPropriete;
class TvzkLoadPanel;

// What the member does with the download and upload stacks: the highlight
// and selection of each page, scrolling, PopupMenu1 and its commands,
// "Nettoyer", and the properties window. Every command acts on the
// selection of the page shown when it runs, and does nothing when that
// panel is gone meanwhile (a transfer may finish or be removed while the
// menu or a question is open).
class TransferListOps : public QObject
{
    Q_OBJECT

public:
    // Builds PopupMenu1's items, the "Nettoyer" buttons and the properties
    // window, and attaches itself to the scroll boxes and pages of main.
    explicit TransferListOps(TfrmPrincipal &main);

    // Mouse-up on a panel's background picture, with the mouse at global.
    void vzkLoadPanelClick(TvzkLoadPanel *panel, Qt::MouseButton button, const QPoint &global);
    void SBDownClick();
    void SBUpClick();
    // Moves the box by minus delta / 5 (24 pixels for a notch of 120).
    void SBDownMouseWheel(int wheelDelta);
    void SBUpMouseWheel(int wheelDelta);

    void PopupMenu1Popup();
    void Ouvrir1Click();
    void Ouvrirledossiercontenant1Click();
    void Pause1Click();
    void Annuler1Click();
    void Proprits1Click();
    // sender: btnNettoyer (downloads) or btnNettoyer2 (uploads).
    void btnNettoyerClick(QObject *sender);
    void TabSheet2Show();
    void TabSheet3Show();

    // Removes one transfer, list 1 = downloads, 2 = uploads; the panels
    // below close up by 78 pixels. The file on disk and the port stay.
    void KillTel(const QString &name, int list);

    TransferHighlight &highlight(int list) { return list == 1 ? m_downHighlight : m_upHighlight; }
    // The panel of the page shown, selected, still alive; list is set to 1
    // or 2. nullptr on another page or without a selection.
    TvzkLoadPanel *selectedPanel(int *list = nullptr) const;

    QAction *Ouvrir1 = nullptr;
    QAction *Ouvrirledossiercontenant1 = nullptr;
    QAction *Lecture1 = nullptr;
    QAction *Pause1 = nullptr;
    QAction *Annuler1 = nullptr;
    QAction *Proprits1 = nullptr;
    TRbButton *btnNettoyer = nullptr;
    TRbButton *btnNettoyer2 = nullptr;
    TfrmPropriete *frmPropriete = nullptr;

    // "Nettoyer" of each page enabled when its list holds something.
    void updateCleanButtons();

    // The window is going: events stop being watched and handled.
    void detach();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QStringList &listOf(int list) const;
    QScrollArea *boxOf(int list) const;
    void paint(TvzkLoadPanel *panel, bool highlighted);
    void scroll(QScrollArea *box, int wheelDelta);

    TfrmPrincipal &m;
    TransferHighlight m_downHighlight;
    TransferHighlight m_upHighlight;
    // The two lists' scroll boxes and their viewports, as watched. The
    // window's children go one by one when it closes, so the filter may see
    // an event of one box after the other is gone: these say so.
    QPointer<QWidget> m_watchedBoxes[2];
    QPointer<QWidget> m_watchedViewports[2];
    bool m_detached = false;
};
