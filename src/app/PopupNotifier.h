#pragma once

#include <QObject>
#include <QString>

// What the notification pop-ups share: how many are on screen (each new one
// stands to the right of those), whether they sound the alert, and where
// their clicks lead. A pop-up talks to this, never to a window; the main
// window connects the requests to its handlers. A pop-up may outlive every
// window: its requests then go nowhere.
class PopupNotifier : public QObject
{
    Q_OBJECT

public:
    explicit PopupNotifier(QObject *parent = nullptr);

    // A pop-up is being made: the alert sounds when enabled.
    void Alert();
    // A pop-up was shown / released: the count of pop-ups on screen.
    void popupShown();
    void popupReleased();

    // Clicks of a pop-up.
    void showDownloads();
    void showUploads();
    void showReception();
    void sendFileTo(const QString &pseudo);

    // A contact came online and its pop-up is being made; the desktop's
    // notifications follow this too.
    void contactOnline(const QString &pseudo);

    quint8 MsgBoxCount = 0;
    bool SoundEnabled = false;

signals:
    void alertWanted();
    void downloadsWanted();
    void uploadsWanted();
    void receptionWanted();
    void sendFileWanted(const QString &pseudo);
    void contactCameOnline(const QString &pseudo);
};
