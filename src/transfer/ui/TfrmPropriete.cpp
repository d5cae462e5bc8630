#include "transfer/ui/TfrmPropriete.h"

#include "components/ui/TRoundedPanel.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLabel *caption(QWidget *parent, const QString &text, int top)
{
    auto *label = new QLabel(text, parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setGeometry(16, top, 100, 16);
    return label;
}

QLabel *value(QWidget *parent, const char *name, int top)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(120, top, 150, 16);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

TfrmPropriete::TfrmPropriete(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPropriete"));
    setWindowTitle(QStringLiteral("Propriétés"));
    // A dialog border: fixed size, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(380, 330);
    setModal(false);

    auto *title = new QLabel(QStringLiteral("Propriétés"), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSize(titleFont.pointSize() + 2);
    title->setFont(titleFont);
    title->setGeometry(16, 8, 200, 20);

    imgICO = new QLabel(this);
    imgICO->setObjectName(QStringLiteral("imgICO"));
    imgICO->setGeometry(16, 36, 32, 32);
    imgICO->setAlignment(Qt::AlignCenter);
    txtFileName = new QLineEdit(this);
    txtFileName->setObjectName(QStringLiteral("txtFileName"));
    txtFileName->setReadOnly(true);
    txtFileName->setGeometry(56, 42, 300, 20);

    lblSourceCaption = caption(this, QStringLiteral("Source :"), 84);
    lblSource = value(this, "lblSource", 84);
    caption(this, QStringLiteral("Taille :"), 108);
    lblTaille = value(this, "lblTaille", 108);
    caption(this, QStringLiteral("Téléchargé :"), 132);
    lblTailleTel = value(this, "lblTailleTel", 132);
    caption(this, QStringLiteral("Commencé le :"), 156);
    lblDebutTel = value(this, "lblDebutTel", 156);
    caption(this, QStringLiteral("Emplacement :"), 180);
    lblEmplacement = new QLineEdit(this);
    lblEmplacement->setObjectName(QStringLiteral("lblEmplacement"));
    lblEmplacement->setReadOnly(true);
    lblEmplacement->setFrame(false);
    lblEmplacement->setGeometry(120, 178, 244, 20);
    caption(this, QStringLiteral("Port :"), 204);
    lblPort = value(this, "lblPort", 204);
    lblIPCaption = caption(this, QStringLiteral("IP :"), 228);
    lblIP = value(this, "lblIP", 228);
    lblIDTelCaption = caption(this, QStringLiteral("IDTel :"), 252);
    lblIDTel = value(this, "lblIDTel", 252);
    for (QWidget *hidden : { static_cast<QWidget *>(lblIPCaption), static_cast<QWidget *>(lblIP),
                             static_cast<QWidget *>(lblIDTelCaption), static_cast<QWidget *>(lblIDTel) })
        hidden->hide();

    pnAvatar = new TRoundedPanel(this);
    pnAvatar->setObjectName(QStringLiteral("pnAvatar"));
    pnAvatar->setGeometry(280, 84, 80, 80);
    pnAvatar->setBorder(1, QColor(141, 75, 35));
    imgAvatar = new QLabel(pnAvatar);
    imgAvatar->setObjectName(QStringLiteral("imgAvatar"));
    imgAvatar->setGeometry(8, 8, 64, 64);
    imgAvatar->setAlignment(Qt::AlignCenter);

    // The window shows a transfer, it does not act on it: these two stay
    // disabled, as the program has always shown them.
    btnPause_Re = new QPushButton(QStringLiteral("Pause"), this);
    btnPause_Re->setObjectName(QStringLiteral("btnPause_Re"));
    btnPause_Re->setGeometry(16, 290, 75, 25);
    btnPause_Re->setEnabled(false);
    btnCancelTel = new QPushButton(QStringLiteral("Annuler"), this);
    btnCancelTel->setObjectName(QStringLiteral("btnCancelTel"));
    btnCancelTel->setGeometry(100, 290, 75, 25);
    btnCancelTel->setEnabled(false);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(289, 290, 75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &TfrmPropriete::btnOKClick);
}

void TfrmPropriete::fill(const TransferProperties &p, const QPixmap &icon, const QImage &avatar)
{
    imgICO->setPixmap(icon.isNull() ? QPixmap() : icon.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    txtFileName->setText(p.fileName);
    txtFileName->setCursorPosition(0);
    lblSourceCaption->setText(p.sourceCaption);
    lblSource->setText(p.source);
    lblTaille->setText(p.taille);
    lblTailleTel->setText(p.tailleTel);
    lblDebutTel->setText(p.debutTel);
    lblEmplacement->setText(p.emplacement);
    lblEmplacement->setCursorPosition(0);
    lblPort->setText(p.port);
    lblIP->setText(p.ip);
    lblIDTel->setText(p.idTel);
    imgAvatar->setPixmap(avatar.isNull() ? QPixmap()
                                         : QPixmap::fromImage(avatar.scaled(64, 64, Qt::KeepAspectRatio,
                                                                            Qt::SmoothTransformation)));
}

void TfrmPropriete::showProperties(const TransferProperties &p, const QPixmap &icon, const QImage &avatar)
{
    fill(p, icon, avatar);
    if (!isVisible()) {
        if (QWidget *main = parentWidget())
            move(main->frameGeometry().center() - QPoint(width() / 2, height() / 2));
        show();
    }
    raise();
    activateWindow();
}

void TfrmPropriete::btnOKClick()
{
    close();
}
