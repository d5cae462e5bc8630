// The main window's side of the negotiation and of transfer creation: the
// control channel and transfer manager wired to the window, the send page.
#include "app/ui/TfrmPrincipal.h"

#include "base/ErrorReport.h"

#include "app/ui/TfrmMsgBox.h"
#include "base/DialogService.h"
#include "components/FileTypeLook.h"
#include "components/ui/TRbButton.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/OfferQueue.h"
#include "service/ServiceSession.h"
#include "transfer/SizeText.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TransferPanels.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
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

QScrollArea *transferBox(const char *name, QWidget *page)
{
    auto *box = new QScrollArea(page);
    box->setObjectName(QLatin1String(name));
    box->setWidgetResizable(false);
    box->setFrameShape(QFrame::NoFrame);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget;
    content->resize(500, 1);
    box->setWidget(content);
    box->setGeometry(8, 44, 520, 400);
    return box;
}

} // namespace

void TfrmPrincipal::buildNegotiation()
{
    Control = new ControlChannel(this);
    Transfers = new TransferManager(this);
    SBDown = transferBox("SBDown", TabSheet2);
    SBUp = transferBox("SBUp", TabSheet3);
    if (!PopupMenu1) {
        PopupMenu1 = new QMenu(this);
        PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    }
    TransferView = new TransferPanels(Transfers, SBDown, SBUp, this);
    TransferView->BindAddress = services.environment.localIp;
    TransferView->PopupMenu1 = PopupMenu1;
    TransferView->TempPath = [this] { return TempPath; };
    TransferView->IconForExtension
        = [this](const QString &ext) { return IconForExtension ? IconForExtension(ext) : QPixmap(); };
    TransferView->AvatarLoader = [this](const QString &pseudo, QLabel *target) {
        if (session.Connected)
            GetAvatar(pseudo, target, false);
    };
    Transfers->View = TransferView;
    Transfers->GetIP = [this](const QString &pseudo) { return GetIP(pseudo); };
    Transfers->UserId = [this] { return session.UserId; };
    connect(Transfers, &TransferManager::AddPort, Control, &ControlChannel::AddPort);
    connect(Transfers, &TransferManager::Popup, this,
        [this](
            const QString &pseudo, const QString &text, int kind) { NewMsgBox(pseudo, text, quint8(kind)); });

    Offers = new OfferQueue(*Control, this);
    connect(Offers, &OfferQueue::Info, this, &TfrmPrincipal::AffichInfo);
    Control->Transfers = Transfers;
    Control->GetIP = [this](const QString &pseudo) { return GetIP(pseudo); };
    Control->CurrentPseudo = [this] { return session.CurrentPseudo; };
    connect(Control, &ControlChannel::Log, this, &TfrmPrincipal::LogWatch);
    connect(Control, &ControlChannel::Info, this, &TfrmPrincipal::AffichInfo);
    // An offer's pop-up goes when the offer does (withdrawn, or its sender
    // gone), so that a stream of offers cannot pile pop-ups up.
    connect(Control, &ControlChannel::OfferPopup, this, [this](int id, const QString &pseudo, const QString &text) {
        m_offerPopups.insert(id, NewMsgBox(pseudo, text, 1));
    });
    connect(Control, &ControlChannel::OfferClosed, this, [this](int id) {
        if (const QPointer<TfrmMsgBox> box = m_offerPopups.take(id))
            box->btnCloseClick();
    });
    connect(btnCancelTrans, &TRbButton::OnClick, Control, &ControlChannel::btnCancelTransClick);
    connect(Control, &ControlChannel::CancelVisible, btnCancelTrans, &QWidget::setVisible);
    // A recipient's name reaches the info bar: it is shown as typed, never
    // read as markup.
    lblInfo->setTextFormat(Qt::PlainText);

    // The send page.
    auto *lblFichier = new QLabel(QStringLiteral("Fichier :"), TabSheet4);
    lblFichier->setGeometry(16, 142, 200, 16);
    FileNameSend->setGeometry(16, 160, 370, 22);
    FileNameSendButton = new QToolButton(TabSheet4);
    FileNameSendButton->setObjectName(QStringLiteral("FileNameSendButton"));
    FileNameSendButton->setText(QStringLiteral("..."));
    FileNameSendButton->setGeometry(390, 160, 26, 22);
    lblFileDecompose->setFont(QFont(QStringLiteral("Trebuchet MS")));
    lblFileDecompose->setWordWrap(true);
    lblFileDecompose->setTextFormat(Qt::PlainText);
    imgIcoDecompose->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette grey = lblDecompFileSize->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    lblDecompFileSize->setPalette(grey);
    auto *lblDesti = new QLabel(QStringLiteral("Envoyer à :"), TabSheet4);
    lblDesti->setGeometry(272, 196, 140, 16);
    txtDesti = new QLineEdit(TabSheet4);
    txtDesti->setObjectName(QStringLiteral("txtDesti"));
    txtDesti->setGeometry(272, 214, 144, 22);
    btnShowTel = new TRbButton(TabSheet4);
    btnShowTel->setObjectName(QStringLiteral("btnShowTel"));
    btnShowTel->setCaption(QStringLiteral("Envoyer"));
    btnShowTel->UseFormColors();
    btnShowTel->setGeometry(272, 244, 100, 26);
    lBoxSendToFriends->installEventFilter(new SendListResize(lBoxSendToFriends));
    lBoxSendToFriends->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lBoxSendToFriends->setSelectionBehavior(QAbstractItemView::SelectRows);

    connect(FileNameSend, &QLineEdit::textChanged, this, &TfrmPrincipal::FileNameSendChange);
    connect(FileNameSendButton, &QToolButton::clicked, this, &TfrmPrincipal::FileNameSendButtonClick);
    connect(
        lBoxSendToFriends, &QTreeWidget::itemDoubleClicked, this, &TfrmPrincipal::lBoxSendToFriendsDblClick);
    connect(txtDesti, &QLineEdit::returnPressed, this, &TfrmPrincipal::btnShowTelClick);
    connect(btnShowTel, &TRbButton::OnClick, this, &TfrmPrincipal::btnShowTelClick);
    connect(Control, &ControlChannel::RecipientEditable, txtDesti, &QWidget::setEnabled);

    // "Envoyer un fichier" of a contact's pop-up.
    connect(this, &TfrmPrincipal::sendFileRequested, this, [this](const QString &pseudo) {
        txtDesti->setText(pseudo);
        ErrorReport::guard([this] { FileNameSendButtonClick(); });
    });
}

void TfrmPrincipal::FileNameSendButtonClick()
{
    // Several files may be chosen at once: each is offered in turn.
    const QStringList names = services.dialogs->openFileNames(
        QStringLiteral("Envoyer un fichier"), QString(), QStringLiteral("Tous les fichiers  (*.*)|*.*"));
    if (names.size() == 1)
        FileNameSend->setText(names.first());
    else if (!names.isEmpty())
        setSendFiles(names);
}

void TfrmPrincipal::setSendFiles(const QStringList &files)
{
    if (files.isEmpty())
        return;
    m_settingSendFiles = true;
    m_sendFiles = files;
    if (FileNameSend->text() == files.first())
        FileNameSendChange();
    else
        FileNameSend->setText(files.first());
    m_settingSendFiles = false;
}

void TfrmPrincipal::FileNameSendChange()
{
    // A name typed or chosen by itself replaces the files chosen together.
    if (!m_settingSendFiles)
        m_sendFiles = FileNameSend->text().isEmpty() ? QStringList() : QStringList { FileNameSend->text() };
    if (m_sendFiles.size() > 1) {
        qint64 total = 0;
        QStringList names;
        for (const QString &path : std::as_const(m_sendFiles)) {
            total += QFileInfo(path).size();
            names << QFileInfo(path).fileName();
        }
        imgIcoDecompose->setPixmap(TransferPanels::StockPicture(0));
        lblFileDecompose->setText(QStringLiteral("%1 fichiers : ").arg(m_sendFiles.size()) + names.join(QStringLiteral(", ")));
        lblDecompFileSize->setText(QStringLiteral("Taille : ") + SizeText::FormatSize(total));
        return;
    }
    const QFileInfo file(FileNameSend->text());
    if (FileNameSend->text().isEmpty() || !file.isFile())
        return;
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    // The icon of the file itself, as the desktop sees it (its type from
    // its name and content); the stock picture when it has none.
    const QPixmap stock = TransferPanels::StockPicture(0);
    const QPixmap icon = DesktopFileClasses
        ? QPixmap::fromImage(FileTypeLook::AssociatedIcon(
              *DesktopFileClasses, file.filePath(), stock.toImage(), FileTypeLook::Large))
        : stock;
    {
        QPainter p(&picture);
        p.drawPixmap(0, 0, icon);
    }
    imgIcoDecompose->setPixmap(picture);
    lblFileDecompose->setText(file.fileName());
    lblDecompFileSize->setText(QStringLiteral("Taille : ") + SizeText::FileSizeText(file.filePath(), true));
}

void TfrmPrincipal::lBoxSendToFriendsDblClick()
{
    const QTreeWidgetItem *row = lBoxSendToFriends->currentItem();
    if (row && row->isSelected())
        txtDesti->setText(row->text(1));
}

void TfrmPrincipal::btnShowTelClick()
{
    if (txtDesti->text().trimmed().isEmpty()) {
        AffichInfo(QStringLiteral("Vous devez sélectionner un destinataire !"), true, 1500);
        return;
    }
    const QStringList files = m_sendFiles.size() > 1 ? m_sendFiles : QStringList { FileNameSend->text() };
    // The queue walks the folders once and says how many files it took.
    if (!QFileInfo(files.first()).isFile() || Offers->Offer(txtDesti->text(), files) == 0)
        AffichInfo(QStringLiteral("Vous devez sélectionner un fichier qui existe !"), true, 1500);
}

void TfrmPrincipal::ClearTransfers()
{
    Offers->Clear();
    for (QStringList *list : {&Transfers->DownloadList, &Transfers->UploadList}) {
        for (const QString &name : std::as_const(*list))
            delete findChild<TvzkLoadPanel *>(name);
        list->clear();
    }
}
