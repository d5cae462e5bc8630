#include "transfer/ui/TfrmPropriete.h"

#include "components/ui/TRbButton.h"
#include "components/ui/TRbPanel.h"

#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>
#include <QLineEdit>

namespace {

// One row of the grid: a bold caption and its value.
QLabel *row(QGridLayout *grid, const QString &caption, QWidget *value)
{
    auto *label = new QLabel(caption);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    const int r = grid->rowCount();
    grid->addWidget(label, r, 0);
    grid->addWidget(value, r, 1);
    return label;
}

QLabel *value(const char *name)
{
    auto *label = new QLabel;
    label->setObjectName(QLatin1String(name));
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
    setFixedSize(400, 330);
    setModal(false);

    auto *title = new QLabel(QStringLiteral("Propriétés"), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSize(titleFont.pointSize() + 2);
    title->setFont(titleFont);
    title->setGeometry(12, 8, 200, 20);

    imgICO = new QLabel(this);
    imgICO->setObjectName(QStringLiteral("imgICO"));
    imgICO->setGeometry(12, 36, 32, 32);
    imgICO->setAlignment(Qt::AlignCenter);
    txtFileName = new QLineEdit(this);
    txtFileName->setObjectName(QStringLiteral("txtFileName"));
    txtFileName->setReadOnly(true);
    txtFileName->setGeometry(52, 42, 328, 20);

    // The rows size themselves to the captions' font.
    auto *rows = new QWidget(this);
    rows->setGeometry(8, 76, 280, 210);
    auto *grid = new QGridLayout(rows);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setVerticalSpacing(8);
    lblSource = value("lblSource");
    lblSourceCaption = row(grid, QStringLiteral("Source :"), lblSource);
    lblTaille = value("lblTaille");
    row(grid, QStringLiteral("Taille :"), lblTaille);
    lblTailleTel = value("lblTailleTel");
    row(grid, QStringLiteral("Téléchargé :"), lblTailleTel);
    // "95,4 Mo (100000000 octets)" and longer do not fit beside the avatar:
    // the count in octets goes to a second line rather than under the panel.
    for (QLabel *size : { lblTaille, lblTailleTel })
        size->setWordWrap(true);
    lblVitesse = value("lblVitesse");
    row(grid, QStringLiteral("Vitesse :"), lblVitesse);
    lblDebutTel = value("lblDebutTel");
    row(grid, QStringLiteral("Commencé le :"), lblDebutTel);
    lblEmplacement = new QLineEdit;
    lblEmplacement->setObjectName(QStringLiteral("lblEmplacement"));
    lblEmplacement->setReadOnly(true);
    lblEmplacement->setFrame(false);
    row(grid, QStringLiteral("Emplacement :"), lblEmplacement);
    lblPort = value("lblPort");
    row(grid, QStringLiteral("Port :"), lblPort);
    lblIP = value("lblIP");
    lblIPCaption = row(grid, QStringLiteral("IP :"), lblIP);
    lblIDTel = value("lblIDTel");
    lblIDTelCaption = row(grid, QStringLiteral("IDTel :"), lblIDTel);
    // Some font engines draw bold text a little wider than they measure it.
    grid->setColumnMinimumWidth(0, 116);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(grid->rowCount(), 1);
    for (QWidget *hidden : { static_cast<QWidget *>(lblIPCaption), static_cast<QWidget *>(lblIP),
                             static_cast<QWidget *>(lblIDTelCaption), static_cast<QWidget *>(lblIDTel) })
        hidden->hide();

    pnAvatar = new TRbPanel(this);
    pnAvatar->setObjectName(QStringLiteral("pnAvatar"));
    pnAvatar->setParentColor(true);
    pnAvatar->setCornerWidth(10);
    pnAvatar->setBorderWidth(2);
    pnAvatar->setGeometry(300, 84, 80, 80);
    imgAvatar = new QLabel(pnAvatar);
    imgAvatar->setObjectName(QStringLiteral("imgAvatar"));
    imgAvatar->setGeometry(8, 8, 64, 64);
    imgAvatar->setAlignment(Qt::AlignCenter);

    // The window shows a transfer, it does not act on it: these two stay
    // disabled, as the program has always shown them.
    btnPause_Re = new TRbButton(this);
    btnPause_Re->setObjectName(QStringLiteral("btnPause_Re"));
    btnPause_Re->setCaption(QStringLiteral("Pause"));
    btnPause_Re->setGeometry(16, 290, 75, 25);
    btnPause_Re->setEnabled(false);
    btnCancelTel = new TRbButton(this);
    btnCancelTel->setObjectName(QStringLiteral("btnCancelTel"));
    btnCancelTel->setCaption(QStringLiteral("Annuler"));
    btnCancelTel->setGeometry(100, 290, 75, 25);
    btnCancelTel->setEnabled(false);
    btnOK = new TRbButton(this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setCaption(QStringLiteral("OK"));
    btnOK->setGeometry(305, 290, 75, 25);
    btnOK->setDefault(true);
    for (TRbButton *button : { btnPause_Re, btnCancelTel, btnOK })
        button->UseFormColors();
    connect(btnOK, &TRbButton::OnClick, this, &TfrmPropriete::btnOKClick);

    m_speedTimer = new QTimer(this);
    m_speedTimer->setInterval(1000);
    connect(m_speedTimer, &QTimer::timeout, this, &TfrmPropriete::refreshSpeed);
}

void TfrmPropriete::setSpeedSource(std::function<QString()> source)
{
    m_speedSource = std::move(source);
    if (m_speedSource)
        m_speedTimer->start();
    else
        m_speedTimer->stop();
}

void TfrmPropriete::refreshSpeed()
{
    if (!isVisible() || !m_speedSource) {
        m_speedTimer->stop();
        return;
    }
    lblVitesse->setText(m_speedSource());
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
    lblVitesse->setText(p.vitesse);
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
