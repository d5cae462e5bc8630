#include "negotiation/ui/TSendPage.h"

#include "base/DialogService.h"
#include "base/ErrorReport.h"
#include "components/FileTypeIcons.h"
#include "components/ui/PageLook.h"
#include "components/ui/TRbButton.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/ContactRows.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/OfferQueue.h"
#include "transfer/SizeText.h"
#include "transfer/ui/TTransferPage.h"

#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QToolButton>
#include <QTreeWidget>

namespace {

// Widths follow the list: the pseudonym column takes all but 45 pixels.
class SendListResize : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize) {
            auto *list = static_cast<QTreeWidget *>(watched);
            list->setColumnWidth(1, list->width() - 45);
        }
        return false;
    }
};

} // namespace

TSendPage::TSendPage(ControlChannel &control, OfferQueue &offers, PresenceMonitor &presence,
    DialogService &dialogs, const FileTypeIcons &icons, QWidget *parent)
    : QWidget(parent)
    , m_control(control)
    , m_offers(offers)
    , m_presence(presence)
    , m_dialogs(dialogs)
    , m_icons(icons)
{
    setObjectName(QStringLiteral("TabSheet4"));
    PageLook::heading(QStringLiteral("Envoyer un fichier"), QStringLiteral("lblHeading4"), this);
    m_fileIcon = new QLabel(this);
    m_fileIcon->setObjectName(QStringLiteral("imgIcoDecompose"));
    m_fileIcon->setGeometry(0, 60, 32, 32);
    m_fileName = new QLabel(this);
    m_fileName->setObjectName(QStringLiteral("lblFileDecompose"));
    m_fileName->setAlignment(Qt::AlignCenter);
    m_fileName->setGeometry(0, 96, 300, 18);
    m_fileSize = new QLabel(this);
    m_fileSize->setObjectName(QStringLiteral("lblDecompFileSize"));
    m_fileSize->setAlignment(Qt::AlignCenter);
    m_fileSize->setGeometry(0, 116, 200, 18);
    m_file = new QLineEdit(this);
    m_file->setObjectName(QStringLiteral("FileNameSend"));
    m_file->setGeometry(16, 160, 370, 22);

    // The recipients: the online contacts.
    m_recipients = new QTreeWidget(this);
    m_recipients->setObjectName(QStringLiteral("lBoxSendToFriends"));
    ContactRows::setUpView(m_recipients);
    m_recipients->setGeometry(16, 196, 240, 200);

    auto *fileCaption = new QLabel(QStringLiteral("Fichier :"), this);
    fileCaption->setGeometry(16, 142, 200, 16);
    m_chooseFile = new QToolButton(this);
    m_chooseFile->setObjectName(QStringLiteral("FileNameSendButton"));
    m_chooseFile->setText(QStringLiteral("..."));
    m_chooseFile->setGeometry(390, 160, 26, 22);
    m_fileName->setFont(QFont(QStringLiteral("Trebuchet MS")));
    m_fileName->setWordWrap(true);
    m_fileName->setTextFormat(Qt::PlainText);
    m_fileIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette grey = m_fileSize->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    m_fileSize->setPalette(grey);
    auto *recipientCaption = new QLabel(QStringLiteral("Envoyer à :"), this);
    recipientCaption->setGeometry(272, 196, 140, 16);
    m_recipient = new QLineEdit(this);
    m_recipient->setObjectName(QStringLiteral("txtDesti"));
    m_recipient->setGeometry(272, 214, 144, 22);
    m_send = new TRbButton(this);
    m_send->setObjectName(QStringLiteral("btnShowTel"));
    m_send->setCaption(QStringLiteral("Envoyer"));
    m_send->UseFormColors();
    m_send->setGeometry(272, 244, 100, 26);
    m_recipients->installEventFilter(new SendListResize(m_recipients));
    m_recipients->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_recipients->setSelectionBehavior(QAbstractItemView::SelectRows);

    connect(m_file, &QLineEdit::textChanged, this, &TSendPage::FileNameSendChange);
    connect(m_chooseFile, &QToolButton::clicked, this, &TSendPage::FileNameSendButtonClick);
    connect(m_recipients, &QTreeWidget::itemDoubleClicked, this, &TSendPage::lBoxSendToFriendsDblClick);
    connect(m_recipient, &QLineEdit::returnPressed, this, &TSendPage::btnShowTelClick);
    connect(m_send, &TRbButton::OnClick, this, &TSendPage::btnShowTelClick);
    connect(&m_control, &ControlChannel::RecipientEditable, m_recipient, &QWidget::setEnabled);
    connect(&m_presence, &PresenceMonitor::polled, this, &TSendPage::RefillSendToFriends);
}

void TSendPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (QWidget *c : { static_cast<QWidget *>(m_fileIcon), static_cast<QWidget *>(m_fileName),
             static_cast<QWidget *>(m_fileSize) })
        CenterControl(c, this, 1);
}

void TSendPage::setFile(const QString &path)
{
    m_file->setText(path);
}

void TSendPage::sendFileTo(const QString &pseudo)
{
    m_recipient->setText(pseudo);
    ErrorReport::guard([this] { FileNameSendButtonClick(); });
}

void TSendPage::FileNameSendButtonClick()
{
    // Several files may be chosen at once: each is offered in turn.
    const QStringList names = m_dialogs.openFileNames(
        QStringLiteral("Envoyer un fichier"), QString(), QStringLiteral("Tous les fichiers  (*.*)|*.*"));
    if (names.size() == 1)
        m_file->setText(names.first());
    else if (!names.isEmpty())
        setSendFiles(names);
}

void TSendPage::setSendFiles(const QStringList &files)
{
    if (files.isEmpty())
        return;
    m_settingSendFiles = true;
    m_sendFiles = files;
    if (m_file->text() == files.first())
        FileNameSendChange();
    else
        m_file->setText(files.first());
    m_settingSendFiles = false;
}

void TSendPage::FileNameSendChange()
{
    // A name typed or chosen by itself replaces the files chosen together.
    if (!m_settingSendFiles)
        m_sendFiles = m_file->text().isEmpty() ? QStringList() : QStringList { m_file->text() };
    if (m_sendFiles.size() > 1) {
        qint64 total = 0;
        QStringList names;
        for (const QString &path : std::as_const(m_sendFiles)) {
            total += QFileInfo(path).size();
            names << QFileInfo(path).fileName();
        }
        m_fileIcon->setPixmap(TTransferPage::StockPicture(0));
        m_fileName->setText(QStringLiteral("%1 fichiers : ").arg(m_sendFiles.size()) + names.join(QStringLiteral(", ")));
        m_fileSize->setText(QStringLiteral("Taille : ") + SizeText::FormatSize(total));
        return;
    }
    const QFileInfo file(m_file->text());
    if (m_file->text().isEmpty() || !file.isFile())
        return;
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    // The icon of the file itself, as the desktop sees it (its type from
    // its name and content); the stock picture when it has none.
    const QPixmap stock = TTransferPage::StockPicture(0);
    const QPixmap icon = QPixmap::fromImage(m_icons.forFile(file.filePath(), stock.toImage()));
    {
        QPainter p(&picture);
        p.drawPixmap(0, 0, icon);
    }
    m_fileIcon->setPixmap(picture);
    m_fileName->setText(file.fileName());
    m_fileSize->setText(QStringLiteral("Taille : ") + SizeText::FileSizeText(file.filePath(), true));
}

void TSendPage::lBoxSendToFriendsDblClick()
{
    const QTreeWidgetItem *row = m_recipients->currentItem();
    if (row && row->isSelected())
        m_recipient->setText(row->text(1));
}

void TSendPage::btnShowTelClick()
{
    if (m_recipient->text().trimmed().isEmpty()) {
        emit info(QStringLiteral("Vous devez sélectionner un destinataire !"), true, 1500);
        return;
    }
    const QStringList files = m_sendFiles.size() > 1 ? m_sendFiles : QStringList { m_file->text() };
    // The queue walks the folders once and says how many files it took.
    if (!QFileInfo(files.first()).isFile() || m_offers.Offer(m_recipient->text(), files) == 0)
        emit info(QStringLiteral("Vous devez sélectionner un fichier qui existe !"), true, 1500);
}

void TSendPage::RefillSendToFriends()
{
    m_recipients->clear();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(m_presence.onlineContacts().size());
    for (const QString &name : m_presence.onlineContacts())
        rows.append(ContactRows::makeRow(name, ContactRows::kOnline));
    m_recipients->addTopLevelItems(rows);
}
