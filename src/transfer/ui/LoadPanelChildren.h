#pragma once

#include <QColor>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

// The child controls of a transfer panel, made in their order with their
// places, fonts, colours and first captions, and kept in place when the
// panel is resized (the background fills it; the avatar and the owner label
// keep their distance to the right edge; the bar stretches; the progress
// label keeps its distance to the bottom).
class LoadPanelChildren
{
public:
    static constexpr int DesignWidth = 489;
    static constexpr int DesignHeight = 75;
    // Colour of finished transfers' status text: red 35, green 75, blue 141.
    static constexpr quint32 DoneColour = 9259811;
    static constexpr quint32 ErrorColour = 255;

    explicit LoadPanelChildren(QWidget *panel);

    // Colour values are 0x00BBGGRR.
    static QColor colourOf(quint32 bgr);
    static void setTextColour(QWidget *widget, quint32 bgr);

    void relayout(const QSize &panelSize);
    // The owner label is sized to its text and its right edge stays put.
    void placeOwnerLabel(int panelWidth);

    QLabel *pictureFond;
    QLabel *pictureIco;
    QLabel *pictureLoad;
    QProgressBar *progressBar;
    QLabel *ownerLabel;
    QLabel *fileLabel;
    QLabel *labelInfo;
    QLabel *progressLabel;
    // The speed and time left of a running transfer, right-aligned on the
    // file name's line, above the bar's end.
    QLabel *rateLabel;
    void placeRateLabel(int panelWidth);
    QPushButton *cancelButton;
};
