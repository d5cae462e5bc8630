#include "contacts/ui/TfrmChangeAvatar.h"

#include "base/DialogService.h"
#include "base/ErrorReport.h"
#include "components/TColor.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbPanel.h"
#include "contacts/AvatarPictures.h"
#include "contacts/JpegCodec.h"
#include "service/HttpClient.h"
#include "service/ServiceReplies.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>

namespace {

// The button comes back whatever happens to the command, failures included.
struct EnableAtEnd
{
    TRbButton *button;
    ~EnableAtEnd() { button->setEnabled(true); }
};

} // namespace

TfrmChangeAvatar::TfrmChangeAvatar(
    ServiceSession &session, DialogService &dialogs, const QString &programDir, QWidget *parent)
    : QDialog(parent)
    , m_session(session)
    , m_dialogs(dialogs)
    , m_programDir(programDir)
{
    setObjectName(QStringLiteral("frmChangeAvatar"));
    setWindowTitle(QStringLiteral("Changer d'avatar"));
    setFixedSize(kWidth, kHeight);

    lblHeading = new QLabel(QStringLiteral("Changez votre avatar"), this);
    lblHeading->setGeometry(0, 12, kWidth, 24);
    lblHeading->setAlignment(Qt::AlignCenter);
    QFont f = lblHeading->font();
    f.setBold(true);
    f.setPixelSize(16);
    lblHeading->setFont(f);

    auto *panel = new TRbPanel(this);
    panel->setObjectName(QStringLiteral("pnAvatar"));
    panel->setParentColor(true);
    panel->setAntialiased(false);
    panel->setGradient(true);
    panel->setDefaultFrom(14086904);
    panel->setDefaultTo(10740718);
    panel->setCornerWidth(8);
    pnAvatar = panel;
    pnAvatar->setGeometry((kWidth - 112) / 2, 48, 112, 112);
    imgAvatar = new QLabel(pnAvatar);
    imgAvatar->setObjectName(QStringLiteral("imgAvatar"));
    imgAvatar->setGeometry(10, 10, 92, 92);
    imgAvatar->setAlignment(Qt::AlignCenter);

    lblPseudo = new QLabel(this);
    lblPseudo->setObjectName(QStringLiteral("lblPseudo"));
    lblPseudo->setGeometry(0, 168, kWidth, 20);
    lblPseudo->setAlignment(Qt::AlignCenter);
    lblPseudo->setTextFormat(Qt::PlainText);

    btnChangeAvatar = new TRbButton(this);
    btnChangeAvatar->setObjectName(QStringLiteral("btnChangeAvatar"));
    btnChangeAvatar->setCaption(QStringLiteral("Changer d'avatar"));
    btnChangeAvatar->setGeometry(60, 250, 130, 28);
    btnChangeAvatar->setDefault(true);
    btnOK = new TRbButton(this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setCaption(QStringLiteral("Ok"));
    btnOK->setGeometry(210, 250, 85, 28);
    for (TRbButton *button : { btnChangeAvatar, btnOK })
        button->UseFormColors();

    // A picture that does not decode or an upload that fails ends the
    // command through the general error report, here and not inside Qt.
    connect(btnChangeAvatar, &TRbButton::OnClick, this, reportingSlot([this] { btnChangeAvatarClick(); }));
    connect(btnOK, &TRbButton::OnClick, this, &TfrmChangeAvatar::btnOKClick);
}

void TfrmChangeAvatar::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QWidget *owner = parentWidget()) {
        const QRect frame = owner->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
    }
    FormShow();
}

void TfrmChangeAvatar::FormShow()
{
    // The window is reused: an avatar that cannot be fetched must not leave
    // the previous account's picture.
    imgAvatar->clear();
    emit avatarWanted(m_session.currentPseudo(), imgAvatar, false);
    lblPseudo->setText(m_session.currentPseudo());
}

void TfrmChangeAvatar::btnOKClick()
{
    close();
}

QString TfrmChangeAvatar::uploadFilePath() const
{
    return m_programDir + QStringLiteral("temp.jpg");
}

void TfrmChangeAvatar::btnChangeAvatarClick()
{
    const QString chosen = m_dialogs.openFileName(QString(), QString(), kPictureFilter);
    if (chosen.isEmpty())
        return;
    btnChangeAvatar->setEnabled(false);
    EnableAtEnd enableAtEnd { btnChangeAvatar };
    changeAvatar(chosen);
}

void TfrmChangeAvatar::changeAvatar(const QString &chosenFile)
{
    // Failures here (a file that is not a JPEG picture, an unwritable
    // program folder, a failed upload) end the command through the general
    // error report.
    QFile source(chosenFile);
    if (!source.open(QIODevice::ReadOnly))
        throw VoxlaneError(QStringLiteral("Impossible d'ouvrir le fichier %1").arg(chosenFile));
    QString why;
    const std::optional<QImage> decoded
        = AvatarPictures::decodeChosen(source.readAll(), &why, JpegCodec::kMaxPixels);
    source.close();
    if (!decoded)
        throw VoxlaneError(why);
    const QImage &picture = *decoded;

    // Whatever it was, the service gets the JPEG it expects.
    const QImage upload = AvatarPictures::fitForUpload(picture);
    const QByteArray jpeg = JpegCodec::encode(upload, 100, &why);
    if (jpeg.isEmpty())
        throw VoxlaneError(why);

    const QString tempPath = uploadFilePath();
    {
        QSaveFile out(tempPath);
        if (!out.open(QIODevice::WriteOnly) || out.write(jpeg) != jpeg.size() || !out.commit())
            throw VoxlaneError(QStringLiteral("Impossible d'écrire le fichier %1").arg(tempPath));
    }

    const std::unique_ptr<HttpClient> http = m_session.NewHttpClient();
    QString reply;
    const QString localPath = QDir::toNativeSeparators(tempPath);
    if (!http->postMultipart(ServiceRequests::avatarUpload(m_session.currentPseudo()),
            ServiceRequests::avatarUploadParts(localPath, jpeg), reply))
        throw VoxlaneError(http->failureText(http->lastError()));
    if (!ServiceReplies::isOk(reply))
        m_dialogs.showMessage(
            QStringLiteral("Erreur"), QString(), DialogService::Kind::Information);
    QFile::remove(tempPath);

    emit ownAvatarChanged();
    emit avatarWanted(m_session.currentPseudo(), imgAvatar, false);
}
