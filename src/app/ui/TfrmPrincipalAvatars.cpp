// Avatars, business cards, profile pages and mail of members.
#include "app/ui/TfrmPrincipal.h"

#include "base/DialogService.h"
#include "contacts/AvatarCache.h"
#include "contacts/AvatarPictures.h"
#include "contacts/JpegCodec.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/ui/TfrmChangeAvatar.h"
#include "service/HttpClient.h"
#include "service/ServiceReplies.h"
#include "service/ServiceRequests.h"
#include "service/ServiceSession.h"

#include <QCursor>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QTreeWidget>

namespace {

const QString &networkDownText()
{
    static const QString text = QStringLiteral(
        "Le réseau est indisponible, veuillez réessayer\n\rVérifiez votre connexion à Internet");
    return text;
}

void drawAvatar(const QImage &picture, QLabel *target)
{
    QImage fitted;
    if (AvatarPictures::fitToHeight(picture, target->height(), fitted))
        target->setPixmap(QPixmap::fromImage(fitted));
}

} // namespace

void TfrmPrincipal::GetAvatar(const QString &pseudo, QLabel *target, bool refresh)
{
    if (!target)
        return;
    // Events run while the service answers: the target may be gone by then.
    const QPointer<QLabel> guard(target);
    const std::optional<QImage> picture = avatars.GetAvatar(pseudo, refresh);
    if (picture && guard)
        drawAvatar(*picture, guard);
}

void TfrmPrincipal::AffichCarte(const QString &pseudo)
{
    TfrmCard *card = cardWindow();
    QPoint position = QCursor::pos();
    const QList<QTreeWidgetItem *> selected = lbOnline->selectedItems();
    if (!selected.isEmpty()) {
        const QRect row = lbOnline->visualItemRect(selected.first());
        position = QPoint(row.left() + x() + lbOnline->x(), row.top() + y() + lbOnline->y());
    }
    card->lblPseudo->setText(pseudo);

    // The window or the card may be destroyed while the service answers.
    const QPointer<TfrmPrincipal> alive(this);
    const QPointer<TfrmCard> cardAlive(card);
    QString body;
    const bool answered = IdHTTP1->get(ServiceRequests::cardDetails(pseudo), body);
    if (!alive || !cardAlive)
        return;
    if (!answered) {
        services.dialogs->showMessage(
            IdHTTP1->failureText(networkDownText()), QStringLiteral("Voxlane"), DialogService::Kind::Error);
        return;
    }
    const ServiceReplies::CardDetails details = ServiceReplies::readCardDetails(body);
    card->setDetails(pseudo, details.email, details.web);
    card->setCanSendFile(pseudo != session.CurrentPseudo && !GetIP(pseudo).isEmpty());
    card->move(position);
    // The card is reused: the previous member's picture must not stay when
    // this member's avatar cannot be fetched.
    card->imgAvatar->clear();
    card->show();
    GetAvatar(pseudo, card->imgAvatar, false);
}

QString TfrmPrincipal::GetMemberInfo(const QString &pseudo, const QString &function)
{
    QString reply;
    if (!NewHttpClient()->get(ServiceRequests::memberInfo(function, pseudo), reply))
        return {};
    return reply;
}

void TfrmPrincipal::Afficherlacartedevisite1Click()
{
    const QString pseudo = SelectedContact();
    if (!pseudo.isEmpty())
        AffichCarte(pseudo);
}

void TfrmPrincipal::Affichermacartedevisite1Click()
{
    AffichCarte(session.CurrentPseudo);
}

void TfrmPrincipal::AfficherProfil1Click()
{
    if (lbOnline->selectedItems().isEmpty())
        return;
    QString idText;
    if (!IdHTTP1->get(ServiceRequests::memberId(SelectedContact()), idText)) {
        services.dialogs->showMessage(
            IdHTTP1->failureText(networkDownText()), QStringLiteral("Voxlane"), DialogService::Kind::Error);
        return;
    }
    ShellOpen(ServiceRequests::profilePage(services.environment.serviceUrl, idText));
}

void TfrmPrincipal::Affichermonprofil1Click()
{
    ShellOpen(
        ServiceRequests::profilePage(services.environment.serviceUrl, QString::number(session.UserId)));
}

void TfrmPrincipal::Envoyerunmessage2Click()
{
    const QString address = GetMemberInfo(SelectedContact(), QStringLiteral("getmail"));
    ShellOpen(ServiceRequests::mailPage(address));
}

void TfrmPrincipal::Changersonavatar1Click()
{
    if (session.Connected)
        changeAvatarWindow()->exec();
}

void TfrmPrincipal::imgAvatarClick()
{
    Changersonavatar1Click();
}
