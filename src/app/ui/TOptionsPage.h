#pragma once

#include <QWidget>

class PopupNotifier;
class QCheckBox;
class QFileSystemModel;
class QLineEdit;
class QToolButton;
class QTreeView;
class SettingsStore;
class TRbButton;
class TRbCheckBox;

// The options page (TabSheet5): the firewall flag, the alert sound, the
// temporary folder and where accepted files go, read from the settings each
// time the page shows and written by "Appliquer" as they stand. The stored
// temporary folder is only shown: partial downloads stay in the settings'
// temp folder.
class TOptionsPage : public QWidget
{
    Q_OBJECT

public:
    TOptionsPage(SettingsStore &settings, PopupNotifier &notifier, QWidget *parent = nullptr);

    // Handlers.
    void TabSheet5Show();
    void btnConfigApplyClick();
    void ceTempPathButtonClick();
    void ShellTreeViewDblClick();

private:
    SettingsStore &m_settings;
    PopupNotifier &m_notifier;

    QCheckBox *m_fireWall = nullptr;
    TRbCheckBox *m_playSound = nullptr;
    QLineEdit *m_tempFolder = nullptr;
    QToolButton *m_chooseFolder = nullptr;
    // Where accepted files go, and whether they go there without asking.
    QLineEdit *m_downloadFolder = nullptr;
    QCheckBox *m_saveWithoutAsking = nullptr;
    QTreeView *m_folders = nullptr;
    QFileSystemModel *m_folderModel = nullptr;
    TRbButton *m_apply = nullptr;
};

// True when the folder exists; one trailing '\\' or '/' is ignored.
bool FolderExists(const QString &path);
