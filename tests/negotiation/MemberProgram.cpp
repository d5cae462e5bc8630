#include "MemberProgram.h"

#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmMsgBox.h"
#include "service/CredentialCodec.h"
#include "transfer/ui/TransferPanels.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QApplication>
#include <QPlainTextEdit>

void MemberProgram::start(const QString &serviceUrl)
{
    settings = std::make_unique<SettingsStore>(homePath() + QStringLiteral("/config/Voxlane.conf"));
    AppServices services;
    services.dialogs = &dialogs;
    services.settings = settings.get();
    services.environment.homeDir = homePath();
    services.environment.serviceUrl = serviceUrl;
    services.environment.localIp = ip;
    w = std::make_unique<TfrmPrincipal>(services);
    reception = std::make_unique<TfrmReception>();
    reception->Flash = nullptr;
    w->ReceptionWindow = reception.get();
    ConnectReception(w.get(), reception.get(), &dialogs);
}

void MemberProgram::end()
{
    reception.reset();
    w.reset();
    QCoreApplication::processEvents();
}

TvzkLoadPanel *MemberProgram::first(const QStringList &list) const
{
    return list.isEmpty() ? nullptr : w->TransferView->panelNamed(list.first());
}

QString MemberProgram::log() const
{
    return w->reWatch->toPlainText();
}

void closePopups()
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (qobject_cast<TfrmMsgBox *>(top))
            delete top;
    QCoreApplication::processEvents();
}

QString presenceReply(const QList<const MemberProgram *> &members)
{
    CredentialCodec codec;
    QString body = QStringLiteral("<html><body>\r\n");
    for (const MemberProgram *m : members) {
        QString letters;
        codec.EncryptForUser(m->pseudo, m->ip, letters);
        body += QStringLiteral("pseudo=") + m->pseudo + QStringLiteral("<br>") + letters
            + QStringLiteral("<br>\r\n");
    }
    return body + QStringLiteral("</body></html>");
}
