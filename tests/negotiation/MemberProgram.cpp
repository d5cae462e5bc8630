#include "MemberProgram.h"

#include "app/ui/TfrmMsgBox.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/CredentialCodec.h"
#include "transfer/TransferJob.h"
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
    services.desktopBus = desktopBus;
    w = std::make_unique<TestClient>(services);
    w->reception->Flash = nullptr;
}

void MemberProgram::end()
{
    w.reset();
    QCoreApplication::processEvents();
}

TvzkLoadPanel *MemberProgram::first(TransferManager::List list) const
{
    const QList<TransferJob *> &jobs = w->transfers().jobs(list);
    return jobs.isEmpty() ? nullptr : w->panelOf(jobs.first());
}

QString MemberProgram::log() const
{
    return w->log();
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
