// The main window's media page and the tray menu's player item.
#include "base/ErrorReport.h"
#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TClickLabel.h"
#include "media/MediaRules.h"
#include "media/ui/TMediaPage.h"
#include "media/ui/TMediaPlayer.h"
#include "transfer/TransferJob.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "base/DialogService.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QStackedWidget>

TMediaPlayer *TfrmPrincipal::mediaPlayer() const
{
    return MediaPage ? MediaPage->WMPlayer : nullptr;
}

void TfrmPrincipal::Lecture1Click()
{
    const int page = PageControl->currentIndex();
    const QString selected = page == MediaRules::kDownloadsPage ? SelectedDownload
        : page == MediaRules::kUploadsPage                      ? SelectedUpload
                                                                : QString();
    if (selected.isEmpty())
        return;
    const auto *panel = findChild<TvzkLoadPanel *>(selected);
    if (!panel)
        return;
    // A download still arriving plays from its own partial file.
    const QString partialName = QFileInfo(panel->job()->partialFilePath()).fileName();
    const QString path = MediaRules::FileToPlay(page, panel->Status(), panel->FichierPath(), TempPath, partialName);
    if (path.isEmpty())
        return;
    // Called from a menu: a file that cannot be read goes to the error
    // report here rather than through Qt's signal machinery.
    ErrorReport::guard([&] { PlayMediaFile(path); });
}

void TfrmPrincipal::PlayMediaFile(const QString &path)
{
    TMediaPlayer *player = mediaPlayer();
    player->setURL(path);
    ReadID3Tag(path);
    if (ID3Tag.isTag()) {
        lblArtiste->setText(TID3Tag::shown(ID3Tag.Artist));
        lblTitre->setText(TID3Tag::shown(ID3Tag.Title));
    } else {
        lblTitre->setText(player->currentMediaName());
        lblArtiste->setText(QStringLiteral("Inconnu"));
    }
    lblEnvoyerClick(lblLecture);
}

void TfrmPrincipal::OpenMediaFile()
{
    const QStringList playable = TMediaPlayer::playableMimeTypes();
    const QString path = services.dialogs->openFileName(
        QStringLiteral("Ouvrir un fichier audio ou vidéo"), QString(), MediaRules::openFilter(playable));
    if (path.isEmpty())
        return;
    if (!MediaRules::canPlay(QFileInfo(path).fileName(), playable, path)) {
        AffichInfo(QStringLiteral("Ce fichier ne peut pas être lu :\n\r") + QFileInfo(path).fileName(), true, 3000);
        return;
    }
    PlayMediaFile(path);
}

void TfrmPrincipal::ReadID3Tag(const QString &path)
{
    ::ReadID3Tag(path, ID3Tag);
}

void TfrmPrincipal::PopupSysTrayPopup()
{
    MediaRules::PlayerItem previous;
    previous.caption = Lecture2->text();
    previous.imageIndex = Lecture2->property("ImageIndex").toInt();
    previous.enabled = Lecture2->isEnabled();
    previous.tag = Lecture2->data().toInt();
    const MediaRules::PlayerItem item = MediaRules::PlayerItemFor(mediaPlayer()->playState(), previous);
    Lecture2->setText(item.caption);
    if (item.imageIndex != previous.imageIndex) {
        Lecture2->setProperty("ImageIndex", item.imageIndex);
        Lecture2->setIcon(ImageListMenu.value(item.imageIndex));
    }
    Lecture2->setEnabled(item.enabled);
    Lecture2->setData(item.tag);
}

void TfrmPrincipal::Lecture2Click()
{
    switch (MediaRules::PlayerActionFor(Lecture2->data().toInt())) {
    case MediaRules::PlayerAction::Play:
        mediaPlayer()->play();
        break;
    case MediaRules::PlayerAction::Pause:
        mediaPlayer()->pause();
        break;
    case MediaRules::PlayerAction::None:
        break;
    }
}
