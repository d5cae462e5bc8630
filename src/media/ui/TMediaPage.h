#pragma once

#include <QWidget>

class QLabel;
class TRbButton;
class TMediaPlayer;
class TRoundedPanel;

// The content of the main window's media page: a rounded light band with
// the title and the artist of what plays, and the player under it. The
// page fills its tab; the player keeps its size and is centred by the main
// window at log-in.
class TMediaPage : public QWidget
{
    Q_OBJECT

public:
    explicit TMediaPage(QWidget *parent = nullptr);

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
};
