#include "transfer/ui/LoadPanelChildren.h"

#include <QStyle>

namespace {

constexpr int kOwnerRight = 480;
constexpr int kBarRight = 48 + 371;

QFont trebuchet(bool bold, int points = -1)
{
    QFont font(QStringLiteral("Trebuchet MS"));
    font.setBold(bold);
    if (points > 0)
        font.setPointSize(points);
    return font;
}

QLabel *makeLabel(QWidget *parent, const QFont &font, const QString &caption)
{
    auto *label = new QLabel(parent);
    // File names and pseudonyms come from the peer: shown as written,
    // never read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(caption);
    label->setFont(font);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->adjustSize();
    return label;
}

} // namespace

QColor LoadPanelChildren::colourOf(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

void LoadPanelChildren::setTextColour(QWidget *widget, quint32 bgr)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colourOf(bgr));
    widget->setPalette(p);
}

LoadPanelChildren::LoadPanelChildren(QWidget *panel)
{
    pictureFond = new QLabel(panel);
    pictureFond->setScaledContents(true);
    pictureFond->setGeometry(panel->rect());

    pictureIco = new QLabel(panel);
    pictureIco->setGeometry(8, 22, 32, 32);
    pictureIco->setAlignment(Qt::AlignCenter);
    pictureIco->setAttribute(Qt::WA_TranslucentBackground);

    pictureLoad = new QLabel(panel);
    pictureLoad->setGeometry(433, 7, 48, 48);
    pictureLoad->setAlignment(Qt::AlignCenter);

    progressBar = new QProgressBar(panel);
    progressBar->setGeometry(48, 30, 371, 17);
    progressBar->setTextVisible(false);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->raise();

    ownerLabel = makeLabel(panel, trebuchet(true), QStringLiteral("lblFileProprio"));
    ownerLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setTextColour(ownerLabel, DoneColour);
    placeOwnerLabel(panel->width());

    fileLabel = makeLabel(panel, trebuchet(true, 8), QStringLiteral("Fichier :"));
    fileLabel->move(48, 10);

    labelInfo = makeLabel(panel, trebuchet(true), QStringLiteral("Info"));
    labelInfo->move(64, 32);
    setTextColour(labelInfo, ErrorColour);

    progressLabel = makeLabel(panel, trebuchet(false), QString());
    progressLabel->move(45, 58);

    rateLabel = makeLabel(panel, trebuchet(false, 8), QString());
    rateLabel->setObjectName(QStringLiteral("rateLabel"));
    rateLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setTextColour(rateLabel, DoneColour);
    rateLabel->hide();

    // Below the panel's height, hence never seen; it carries the caption
    // that the lists set.
    cancelButton = new QPushButton(
        panel->style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("&Annuler"), panel);
    cancelButton->setGeometry(480, 88, 75, 25);
    cancelButton->setFocusPolicy(Qt::NoFocus);
}

void LoadPanelChildren::placeOwnerLabel(int panelWidth)
{
    ownerLabel->adjustSize();
    ownerLabel->setFixedHeight(13);
    const int right = kOwnerRight + (panelWidth - DesignWidth);
    ownerLabel->move(right - ownerLabel->width(), 56);
}

void LoadPanelChildren::placeRateLabel(int panelWidth)
{
    rateLabel->adjustSize();
    const int right = kBarRight + (panelWidth - DesignWidth);
    rateLabel->move(right - rateLabel->width(), 10);
}

void LoadPanelChildren::relayout(const QSize &panelSize)
{
    const int dw = panelSize.width() - DesignWidth;
    const int dh = panelSize.height() - DesignHeight;
    pictureFond->setGeometry(0, 0, panelSize.width(), panelSize.height());
    pictureLoad->move(433 + dw, 7);
    progressBar->resize(371 + dw, 17);
    progressLabel->move(45, 58 + dh);
    placeOwnerLabel(panelSize.width());
    placeRateLabel(panelSize.width());
}
