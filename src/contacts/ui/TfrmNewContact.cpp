#include "contacts/ui/TfrmNewContact.h"

#include "base/ErrorReport.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbRadioButton.h"
#include "contacts/ContactManager.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>

#include <algorithm>

TfrmNewContact::TfrmNewContact(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmNewContact"));
    setWindowTitle(QStringLiteral("Nouveau contact"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(380, 230);
    move(kDesignPosition);

    auto *intro = new QLabel(QStringLiteral("Un utilisateur veut vous ajouter à sa liste de contact"), this);
    intro->setGeometry(12, 10, 356, 18);

    auto *frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(12, 36, 68, 68);
    imgAvatar = new QLabel(frame);
    imgAvatar->setObjectName(QStringLiteral("imgAvatar"));
    imgAvatar->setGeometry(2, 2, 64, 64);
    imgAvatar->setAlignment(Qt::AlignCenter);

    lblUsername = new QLabel(QStringLiteral("Username"), this);
    lblUsername->setObjectName(QStringLiteral("lblUsername"));
    // A pseudonym is shown as written, never read as markup.
    lblUsername->setTextFormat(Qt::PlainText);
    QFont bold = lblUsername->font();
    bold.setBold(true);
    lblUsername->setFont(bold);
    lblUsername->setGeometry(92, 44, 276, 20);

    auto *question = new QLabel(QStringLiteral("Voulez-vous l'autoriser ?"), this);
    question->setGeometry(92, 70, 276, 18);

    rbOK = new TRbRadioButton(this);
    rbOK->setObjectName(QStringLiteral("rbOK"));
    rbOK->setCaption(QStringLiteral("Autoriser cet utilisteur à faire parti de votre liste de contact"));
    rbOK->setGeometry(12, 116, 356, 17);
    rbNo = new TRbRadioButton(this);
    rbNo->setObjectName(QStringLiteral("rbNo"));
    rbNo->setCaption(QStringLiteral("Ne pas autoriser cet utilisateur"));
    rbNo->setGeometry(12, 142, 356, 17);

    btnPseudoOK = new TRbButton(this);
    btnPseudoOK->setObjectName(QStringLiteral("btnPseudoOK"));
    btnPseudoOK->setCaption(QStringLiteral("OK"));
    btnPseudoOK->UseFormColors();
    btnPseudoOK->setDefault(true);
    btnPseudoOK->setGeometry(288, 190, 80, 26);

    // The design's width holds the first answer in the design's font; with
    // wider fonts the window grows so that the answer is read whole, and the
    // controls at its right edge follow.
    const int needed = 12 + std::max(rbOK->sizeHint().width(), rbNo->sizeHint().width()) + 12;
    if (needed > width()) {
        const int grow = needed - width();
        setFixedSize(needed, height());
        for (QWidget *control : { static_cast<QWidget *>(rbOK), static_cast<QWidget *>(rbNo),
                 static_cast<QWidget *>(intro), static_cast<QWidget *>(lblUsername),
                 static_cast<QWidget *>(question) })
            control->resize(control->width() + grow, control->height());
        btnPseudoOK->move(btnPseudoOK->x() + grow, btnPseudoOK->y());
    }
    connect(btnPseudoOK, &TRbButton::OnClick, this,
        [this] { ErrorReport::guard([this] { btnPseudoOKClick(); }); });
}

void TfrmNewContact::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorReport::guard([this] { FormShow(); });
}

void TfrmNewContact::FormShow()
{
    if (!AvatarLoader || m_busy)
        return;
    m_busy = true;
    struct Done
    {
        bool &flag;
        ~Done() { flag = false; }
    } done { m_busy };
    AvatarLoader(lblUsername->text(), imgAvatar);
}

void TfrmNewContact::btnPseudoOKClick()
{
    if (m_busy || !m_manager)
        return;
    bool answered = false;
    {
        m_busy = true;
        btnPseudoOK->setEnabled(false);
        struct Done
        {
            TfrmNewContact *window;
            ~Done()
            {
                window->m_busy = false;
                window->btnPseudoOK->setEnabled(true);
            }
        } done { this };
        answered = m_manager->AnswerRequest(lblUsername->text(), rbOK->Checked());
    }
    if (answered)
        close();
}

void TfrmNewContact::closeEvent(QCloseEvent *event)
{
    if (m_busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmNewContact::done(int result)
{
    if (!m_busy)
        QDialog::done(result);
}
