#include "app/ui/TOptionsPage.h"

#include "app/PopupNotifier.h"
#include "base/SettingsStore.h"
#include "components/ui/PageLook.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbCheckBox.h"
#include "negotiation/DownloadFolder.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeView>

bool FolderExists(const QString &path)
{
    QString p = path;
    if (p.endsWith(u'\\') || p.endsWith(u'/'))
        p.chop(1);
    if (p.isEmpty())
        return path == QStringLiteral("/");
    return QFileInfo(p).isDir();
}

TOptionsPage::TOptionsPage(SettingsStore &settings, PopupNotifier &notifier, QWidget *parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_notifier(notifier)
{
    setObjectName(QStringLiteral("TabSheet5"));
    PageLook::heading(QStringLiteral("Options"), QStringLiteral("lblHeading5"), this);
    m_fireWall = new QCheckBox(QStringLiteral("Ce PC est derrière un par-feu"), this);
    m_fireWall->setObjectName(QStringLiteral("cbFireWall"));
    m_fireWall->setGeometry(16, 56, 400, 22);
    m_playSound = new TRbCheckBox(this);
    m_playSound->setObjectName(QStringLiteral("ckPlaySound"));
    m_playSound->setCaption(QStringLiteral("Emettre un son lors d'un évenement"));
    m_playSound->setGeometry(16, 84, 400, 22);
    auto *folderCaption = new QLabel(QStringLiteral("Dossier temporaire :"), this);
    folderCaption->setGeometry(16, 118, 400, 18);
    m_tempFolder = new QLineEdit(this);
    m_tempFolder->setObjectName(QStringLiteral("ceTempPath"));
    m_tempFolder->setGeometry(16, 138, 370, 22);
    m_chooseFolder = new QToolButton(this);
    m_chooseFolder->setObjectName(QStringLiteral("ceTempPathButton"));
    m_chooseFolder->setText(QStringLiteral("..."));
    m_chooseFolder->setGeometry(390, 138, 26, 22);
    connect(m_chooseFolder, &QToolButton::clicked, this, &TOptionsPage::ceTempPathButtonClick);
    auto *downloadsCaption = new QLabel(QStringLiteral("Dossier de réception :"), this);
    downloadsCaption->setGeometry(16, 172, 400, 18);
    m_downloadFolder = new QLineEdit(this);
    m_downloadFolder->setObjectName(QStringLiteral("ceDownloadPath"));
    m_downloadFolder->setGeometry(16, 192, 400, 22);
    m_saveWithoutAsking = new QCheckBox(
        QStringLiteral("Enregistrer les fichiers acceptés dans ce dossier sans demander"), this);
    m_saveWithoutAsking->setObjectName(QStringLiteral("ckSaveWithoutAsking"));
    m_saveWithoutAsking->setGeometry(16, 220, 420, 22);
    m_folders = new QTreeView(this);
    m_folders->setObjectName(QStringLiteral("ShellTreeView"));
    m_folders->setGeometry(16, 164, 400, 220);
    m_folders->hide();
    connect(m_folders, &QTreeView::doubleClicked, this, &TOptionsPage::ShellTreeViewDblClick);
    m_apply = new TRbButton(this);
    m_apply->setObjectName(QStringLiteral("btnConfigApply"));
    m_apply->setCaption(QStringLiteral("Appliquer"));
    m_apply->UseFormColors();
    m_apply->setGeometry(16, 400, 100, 26);
    connect(m_apply, &TRbButton::OnClick, this, &TOptionsPage::btnConfigApplyClick);
}

void TOptionsPage::TabSheet5Show()
{
    m_fireWall->setChecked(m_settings.read(QStringLiteral("FireWall")) == QStringLiteral("1"));
    m_playSound->setChecked(m_settings.read(QStringLiteral("PlaySound")) == QStringLiteral("1"));
    const QString stored = m_settings.read(QStringLiteral("TempPath"));
    // The default shown is the folder partial downloads really go to; names
    // differ by case on Linux, so "Temp" would name another folder.
    m_tempFolder->setText(stored.isEmpty() ? m_settings.tempFolder() : stored);
    const DownloadFolder downloads(&m_settings);
    m_downloadFolder->setText(downloads.folder());
    m_saveWithoutAsking->setChecked(downloads.saveWithoutAsking());
}

void TOptionsPage::btnConfigApplyClick()
{
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    m_settings.write(QStringLiteral("FireWall"), flag(m_fireWall->isChecked()));
    m_settings.write(QStringLiteral("PlaySound"), flag(m_playSound->Checked()));
    m_notifier.SoundEnabled = m_playSound->Checked();
    m_settings.write(QStringLiteral("TempPath"), m_tempFolder->text());
    // The desktop's download folder is not written down: it follows the
    // desktop's own setting until the user names another one.
    const QString downloads = m_downloadFolder->text().trimmed();
    m_settings.write(QStringLiteral("DownloadPath"),
        downloads == DownloadFolder::desktopDownloadFolder() ? QString() : downloads);
    DownloadFolder(&m_settings).setSaveWithoutAsking(m_saveWithoutAsking->isChecked());
}

void TOptionsPage::ceTempPathButtonClick()
{
    if (!m_folderModel) {
        m_folderModel = new QFileSystemModel(this);
        m_folderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
        m_folderModel->setRootPath(QDir::rootPath());
        m_folders->setModel(m_folderModel);
        for (int column = 1; column < m_folderModel->columnCount(); ++column)
            m_folders->hideColumn(column);
    }
    const QString typed = m_tempFolder->text().trimmed();
    if (FolderExists(typed)) {
        const QModelIndex index = m_folderModel->index(typed);
        m_folders->setCurrentIndex(index);
        m_folders->scrollTo(index);
    }
    m_folders->setVisible(!m_folders->isVisible());
    if (m_folders->isVisible())
        m_folders->setFocus();
}

void TOptionsPage::ShellTreeViewDblClick()
{
    if (!m_folderModel)
        return;
    const QModelIndex index = m_folders->currentIndex();
    if (index.isValid())
        m_tempFolder->setText(QDir::toNativeSeparators(m_folderModel->filePath(index)));
    m_folders->hide();
}
