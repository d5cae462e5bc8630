#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

// The rules of the download and upload stacks that do not need a widget:
// where a panel goes, how the wheel scrolls, the two background gradients,
// what the context menu offers for a panel, which panels "Nettoyer" removes
// and the start-date text of a transfer.
class TransferListRules
{
public:
    // Panel i (from 0) of a stack: top i * 78 minus the scroll position,
    // left 8, width the scroll box's client width minus 10.
    static constexpr int PanelPitch = 78;
    static constexpr int PanelLeft = 8;
    static int panelTop(int index, int scrollPosition) { return index * PanelPitch - scrollPosition; }
    static int panelWidth(int clientWidth) { return clientWidth - 10; }

    // The change of the vertical scroll position for a wheel event: minus
    // the delta divided by 5, truncated toward zero (one notch of 120 is 24
    // pixels; turning away from the user goes toward the top).
    static int wheelScroll(int wheelDelta) { return -wheelDelta / 5; }

    // Background gradients, top colour then bottom colour, 0x00BBGGRR.
    static constexpr quint32 NormalFrom = 12119799;      // 247, 238, 184
    static constexpr quint32 NormalTo = 9754338;         // 226, 214, 148
    static constexpr quint32 HighlightedFrom = 8306378;  // 202, 190, 126
    static constexpr quint32 HighlightedTo = 12119799;   // 247, 238, 184
    // A panel's background picture in the normal or highlighted state.
    static QImage background(QSize size, bool highlighted);

    // The text from the last "." to the end, dot included, case kept;
    // empty when there is no ".".
    static QString ExtractFileExt(const QString &fileName);
    // The folder part of a path with its trailing separator; empty when
    // the path has no folder part.
    static QString ExtractFilePath(const QString &path);

    // The media page plays these, and only spelt exactly so: "clip.MP3" is
    // not offered "Lecture".
    static bool isPlayable(const QString &fichierName);

    // PopupMenu1 as prepared for one panel just before it opens.
    struct MenuState
    {
        QString pauseCaption; // "Pau&se" or "Reprendre"
        bool pauseEnabled = false;
        bool lectureEnabled = false;
    };
    // dataSocketActive: the download's listening socket or the upload's
    // outgoing socket is active.
    static MenuState popupMenuState(bool dataSocketActive, const QString &status, const QString &fichierName);
    static const QString PauseCaption;   // "Pau&se"
    static const QString ResumeCaption;  // "Reprendre"
    static const QString PausedProgressCaption; // "Pause"
    static const QString CancelQuestion;

    // Positions "Nettoyer" removes, last first: the transfers that are over,
    // finished (Status "0") or cancelled by the other member (Status
    // CancelledStatus), given the Status of each panel in stack order.
    static const QString CancelledStatus; // TransferJob::CancelledStatus
    static QList<int> finishedFromLast(const QStringList &statuses);

    // "25/12/2026 14:30" from an IDTel ending with the stamp
    // "YYYYMMDDHHNNSSzzz", whatever the member id in front. An identifier
    // without such a stamp gives the empty text.
    static QString DateFromIDTel(const QString &idTel);
};
