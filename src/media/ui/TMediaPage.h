#pragma once

#include "media/ID3Tag.h"

#include <QWidget>

class QLabel;
class TRbButton;
class TMediaPlayer;
class TRoundedPanel;

// The main window's media page (TabSheet7): a rounded light band with the
// title and the artist of what plays, and the player under it. The player
// keeps its size and is centred by the main window at log-in.
class TMediaPage : public QWidget
{
    Q_OBJECT

public:
    explicit TMediaPage(QWidget *parent = nullptr);

    // Plays path and labels the page from its tag, or from its name with
    // "Inconnu" as artist. An unreadable or too short file reaches the
    // general error report after playback was asked for; the labels stay
    // as they were.
    void PlayMediaFile(const QString &path);
    // The tag PlayMediaFile read last.
    const TID3Tag &lastTag() const { return m_tag; }

    TRoundedPanel *pnPlayBand = nullptr;
    QLabel *lblPlayName = nullptr;
    QLabel *lblPlayArtiste = nullptr;
    TMediaPlayer *WMPlayer = nullptr;
    // "Ouvrir…": any file of the disk for the player (openRequested).
    TRbButton *btnOuvrirMedia = nullptr;

signals:
    void openRequested();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    TID3Tag m_tag;
};
