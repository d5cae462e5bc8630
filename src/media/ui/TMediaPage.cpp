#include "media/ui/TMediaPage.h"

#include "components/TColor.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRoundedPanel.h"
#include "media/ui/TMediaPlayer.h"

#include <QLabel>

namespace {

QFont trebuchet(int pixelSize)
{
    QFont f(QStringLiteral("Trebuchet MS"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    return f;
}

constexpr int kBandTop = 8;
constexpr int kBandHeight = 56;
constexpr int kMargin = 8;

} // namespace

TMediaPage::TMediaPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet7"));
    pnPlayBand = new TRoundedPanel(this);
    pnPlayBand->setObjectName(QStringLiteral("pnPlayBand"));
    const QColor band = TColor::toQColor(13168888);
    pnPlayBand->setGradient(band, band);
    pnPlayBand->setBorder(1, TColor::toQColor(2861503));

    lblPlayName = new QLabel(QStringLiteral("Titre"), pnPlayBand);
    lblPlayName->setObjectName(QStringLiteral("lblPlayName"));
    lblPlayName->setFont(trebuchet(19));
    QPalette p = lblPlayName->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    lblPlayName->setPalette(p);

    lblPlayArtiste = new QLabel(QStringLiteral("Artiste"), pnPlayBand);
    lblPlayArtiste->setObjectName(QStringLiteral("lblPlayArtiste"));
    lblPlayArtiste->setFont(trebuchet(13));
    p = lblPlayArtiste->palette();
    p.setColor(QPalette::WindowText, TColor::toQColor(2062215));
    lblPlayArtiste->setPalette(p);

    btnOuvrirMedia = new TRbButton(pnPlayBand);
    btnOuvrirMedia->setObjectName(QStringLiteral("btnOuvrirMedia"));
    btnOuvrirMedia->setCaption(QStringLiteral("Ouvrir…"));
    btnOuvrirMedia->UseFormColors();
    connect(btnOuvrirMedia, &TRbButton::OnClick, this, &TMediaPage::openRequested);

    WMPlayer = new TMediaPlayer(this);
    WMPlayer->setGeometry(
        kMargin, kBandTop + kBandHeight + kMargin, TMediaPlayer::kDefaultWidth, TMediaPlayer::kDefaultHeight);
}

void TMediaPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = qMax(0, width() - 2 * kMargin);
    pnPlayBand->setGeometry(kMargin, kBandTop, w, kBandHeight);
    constexpr int kButtonWidth = 80;
    const int text = qMax(0, w - 24 - kButtonWidth - 8);
    lblPlayName->setGeometry(12, 4, text, 28);
    lblPlayArtiste->setGeometry(12, 32, text, 20);
    btnOuvrirMedia->setGeometry(w - 12 - kButtonWidth, (kBandHeight - 26) / 2, kButtonWidth, 26);
}

void TMediaPage::PlayMediaFile(const QString &path)
{
    WMPlayer->setURL(path);
    ReadID3Tag(path, m_tag);
    if (m_tag.isTag()) {
        lblPlayArtiste->setText(TID3Tag::shown(m_tag.Artist));
        lblPlayName->setText(TID3Tag::shown(m_tag.Title));
    } else {
        lblPlayName->setText(WMPlayer->currentMediaName());
        lblPlayArtiste->setText(QStringLiteral("Inconnu"));
    }
}
