#pragma once

#include <QWidget>

class ControlChannel;
class DialogService;
class FileTypeIcons;
class OfferQueue;
class PresenceMonitor;
class QLabel;
class QLineEdit;
class QToolButton;
class QTreeWidget;
class TRbButton;

// The send page (TabSheet4): the file to offer (FileNameSend and its "..."
// button, with the file's icon, name and size above), the online contacts
// to pick the recipient from (lBoxSendToFriends), the recipient field
// txtDesti and "Envoyer", which hands the files to the offer queue (one
// offer after the other). The recipient list follows every presence poll.
class TSendPage : public QWidget
{
    Q_OBJECT

public:
    TSendPage(ControlChannel &control, OfferQueue &offers, PresenceMonitor &presence, DialogService &dialogs,
        const FileTypeIcons &icons, QWidget *parent = nullptr);

    // A file dropped on the window, or chosen otherwise: the file field
    // takes the path whole.
    void setFile(const QString &path);
    // The files the page offers: the one of FileNameSend, or several chosen
    // or dropped at once (FileNameSend then shows the first).
    void setSendFiles(const QStringList &files);
    QStringList sendFiles() const { return m_sendFiles; }
    // "Envoyer un fichier" of a contact's pop-up: the recipient is filled
    // and the file choice opens.
    void sendFileTo(const QString &pseudo);

    // Handlers.
    void FileNameSendChange();
    void FileNameSendButtonClick();
    void lBoxSendToFriendsDblClick();
    void btnShowTelClick();
    // The recipient list := the online contacts, in list order.
    void RefillSendToFriends();

signals:
    // A message for the info bar (AffichInfo's arguments).
    void info(const QString &text, bool show, int milliseconds);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    ControlChannel &m_control;
    OfferQueue &m_offers;
    PresenceMonitor &m_presence;
    DialogService &m_dialogs;
    const FileTypeIcons &m_icons;

    QLabel *m_fileIcon = nullptr;
    QLabel *m_fileName = nullptr;
    QLabel *m_fileSize = nullptr;
    QLineEdit *m_file = nullptr;
    QTreeWidget *m_recipients = nullptr;
    QToolButton *m_chooseFile = nullptr;
    QLineEdit *m_recipient = nullptr;
    TRbButton *m_send = nullptr;
    QStringList m_sendFiles;
    bool m_settingSendFiles = false;
};
