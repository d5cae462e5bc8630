// The main window's tray icon and its menu, the media page's player, and
// the menu of the member's own avatar.
#include "app/ui/TfrmPrincipal.h"

#include "app/ui/ApplicationWindows.h"
#include "base/DialogService.h"
#include "base/ErrorReport.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TPiconeBarreTache.h"
#include "contacts/ui/AvatarLabel.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TContactView.h"
#include "contacts/ui/TfrmChangeAvatar.h"
#include "media/MediaRules.h"
#include "media/ui/TMediaPage.h"
#include "media/ui/TMediaPlayer.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStyle>

namespace {

// The icon the form carries when the desktop has none installed for us.
QIcon formIcon()
{
    const QIcon installed = qApp->windowIcon();
    if (!installed.isNull())
        return installed;
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(49, 106, 197));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 30, 30);
    QFont font = painter.font();
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("V"));
    painter.end();
    return QIcon(pixmap);
}

} // namespace

void TfrmPrincipal::buildTray()
{
    m_trayMenuImages.resize(10);
    m_trayMenuImages[MediaRules::kImagePlay] = style()->standardIcon(QStyle::SP_MediaPlay);
    m_trayMenuImages[MediaRules::kImagePause] = style()->standardIcon(QStyle::SP_MediaPause);

    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("PopupSysTray"));
    m_openAction = m_trayMenu->addAction(QStringLiteral("Ouvrir Voxlane"));
    m_openAction->setObjectName(QStringLiteral("OuvrirVoxlane1"));
    m_playerAction = m_trayMenu->addAction(QStringLiteral("Pas de lecture"));
    m_playerAction->setObjectName(QStringLiteral("Lecture2"));
    m_playerAction->setEnabled(false);
    m_playerAction->setProperty("ImageIndex", -1);
    m_trayMenu->addSeparator();
    m_quitAction = m_trayMenu->addAction(QStringLiteral("Quitter"));
    m_quitAction->setObjectName(QStringLiteral("Quitter1"));
    connect(m_trayMenu, &QMenu::aboutToShow, this, &TfrmPrincipal::PopupSysTrayPopup);
    connect(m_openAction, &QAction::triggered, this, &TfrmPrincipal::OuvrirVoxlane1Click);
    connect(m_playerAction, &QAction::triggered, this, &TfrmPrincipal::Lecture2Click);
    connect(m_quitAction, &QAction::triggered, this, &TfrmPrincipal::Quitter1Click);

    setWindowIcon(formIcon());
    m_trayIcon = new TPiconeBarreTache(this);
    m_trayIcon->setObjectName(QStringLiteral("PiconeBarreTache1"));
    m_trayIcon->setMenuPop(m_trayMenu);
    m_trayIcon->setCacherSiMinimize(true);
    m_trayIcon->setIcone(windowIcon());
    m_trayIcon->setOuvreSiClicGauche(false);
    m_trayIcon->setOuvreSiDblClick(true);
    m_trayIcon->Loaded();

    // The pop-ups bring the window back through the tray icon.
    connect(this, &TfrmPrincipal::applicationRestoring, this, [this] { m_trayIcon->ShowApplication(); });
}

void TfrmPrincipal::OuvrirVoxlane1Click()
{
    m_trayIcon->ShowApplication();
}

void TfrmPrincipal::PlayMediaFile(const QString &path)
{
    m_mediaPage->PlayMediaFile(path);
    lblEnvoyerClick(m_mediaLabel);
}

void TfrmPrincipal::OpenMediaFile()
{
    const QStringList playable = TMediaPlayer::playableMimeTypes();
    const QString path = m_controllers.dialogs().openFileName(
        QStringLiteral("Ouvrir un fichier audio ou vidéo"), QString(), MediaRules::openFilter(playable));
    if (path.isEmpty())
        return;
    if (!MediaRules::canPlay(QFileInfo(path).fileName(), playable, path)) {
        AffichInfo(QStringLiteral("Ce fichier ne peut pas être lu :\n\r") + QFileInfo(path).fileName(), true, 3000);
        return;
    }
    PlayMediaFile(path);
}

void TfrmPrincipal::PopupSysTrayPopup()
{
    MediaRules::PlayerItem previous;
    previous.caption = m_playerAction->text();
    previous.imageIndex = m_playerAction->property("ImageIndex").toInt();
    previous.enabled = m_playerAction->isEnabled();
    previous.tag = m_playerAction->data().toInt();
    const MediaRules::PlayerItem item = MediaRules::PlayerItemFor(m_mediaPage->WMPlayer->playState(), previous);
    m_playerAction->setText(item.caption);
    if (item.imageIndex != previous.imageIndex) {
        m_playerAction->setProperty("ImageIndex", item.imageIndex);
        m_playerAction->setIcon(m_trayMenuImages.value(item.imageIndex));
    }
    m_playerAction->setEnabled(item.enabled);
    m_playerAction->setData(item.tag);
}

void TfrmPrincipal::Lecture2Click()
{
    switch (MediaRules::PlayerActionFor(m_playerAction->data().toInt())) {
    case MediaRules::PlayerAction::Play:
        m_mediaPage->WMPlayer->play();
        break;
    case MediaRules::PlayerAction::Pause:
        m_mediaPage->WMPlayer->pause();
        break;
    case MediaRules::PlayerAction::None:
        break;
    }
}

// ---- the member's own avatar ------------------------------------------------

void TfrmPrincipal::buildAvatarMenu()
{
    m_avatarMenu = new QMenu(this);
    m_avatarMenu->setObjectName(QStringLiteral("PopupMenuAvatar"));
    m_changeAvatarAction = m_avatarMenu->addAction(QStringLiteral("Changer son avatar"));
    m_changeAvatarAction->setObjectName(QStringLiteral("Changersonavatar1"));
    m_ownCardAction = m_avatarMenu->addAction(
        ContactRows::image(ContactRows::kCardImage), QStringLiteral("Afficher ma carte de visite"));
    m_ownCardAction->setObjectName(QStringLiteral("Affichermacartedevisite1"));
    m_ownProfileAction = m_avatarMenu->addAction(QStringLiteral("Afficher mon profil"));
    m_ownProfileAction->setObjectName(QStringLiteral("Affichermonprofil1"));
    connect(m_changeAvatarAction, &QAction::triggered, this, &TfrmPrincipal::Changersonavatar1Click);
    // A card fetches the avatar, which may not decode: reported at the slot.
    connect(m_ownCardAction, &QAction::triggered, this, reportingSlot([this] { Affichermacartedevisite1Click(); }));
    connect(m_ownProfileAction, &QAction::triggered, this, &TfrmPrincipal::Affichermonprofil1Click);
    m_ownAvatar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ownAvatar, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (m_avatarMenuAttached)
            m_avatarMenu->popup(m_ownAvatar->mapToGlobal(pos));
    });
}

void TfrmPrincipal::setChangeAvatarWindow(TfrmChangeAvatar *window)
{
    m_changeAvatar = window;
    if (!window)
        return;
    // The avatar cache answers the dialog, and a new own avatar is fetched
    // again for the menu's picture.
    connect(window, &TfrmChangeAvatar::avatarWanted, this,
        reportingSlot([this](const QString &pseudo, QLabel *target, bool refresh) {
            AvatarLabel::show(m_controllers.avatars(), pseudo, target, refresh);
        }));
    connect(window, &TfrmChangeAvatar::ownAvatarChanged, this, reportingSlot([this] { showOwnAvatar(true); }));
}

void TfrmPrincipal::imgAvatarClick()
{
    Changersonavatar1Click();
}

void TfrmPrincipal::Changersonavatar1Click()
{
    if (m_controllers.session().isConnected() && m_changeAvatar)
        m_changeAvatar->exec();
}

void TfrmPrincipal::Affichermacartedevisite1Click()
{
    m_contactView->AffichCarte(m_controllers.session().currentPseudo());
}

void TfrmPrincipal::Affichermonprofil1Click()
{
    ShellOpen(ServiceRequests::profilePage(
        m_controllers.environment().serviceUrl, QString::number(m_controllers.session().userId())));
}
