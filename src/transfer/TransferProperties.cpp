#include "transfer/TransferProperties.h"

#include "base/TextConvert.h"
#include "transfer/SizeText.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferListRules.h"

TransferProperties TransferProperties::of(const TransferRecord &r, bool download, const QString &ip)
{
    TransferProperties p;
    p.fileName = r.FichierName;
    p.sourceCaption = download ? QStringLiteral("Source :") : QStringLiteral("Vers :");
    p.source = r.FichierProprio;
    p.taille = SizeText::FormatSize(TextConvert::strToInt64(r.FichierPoids)) + QStringLiteral(" (") + r.FichierPoids
               + QStringLiteral(" octets)");
    p.tailleTel = SizeText::FormatSize(r.FichierTel) + QStringLiteral(" (") + QString::number(r.FichierTel)
                  + QStringLiteral(" octets)");
    p.debutTel = TransferListRules::DateFromIDTel(r.IDTel);
    p.emplacement = TransferListRules::ExtractFilePath(r.FichierPath);
    p.port = QString::number(r.Port);
    p.ip = ip;
    p.idTel = r.IDTel;
    return p;
}

void TransferProperties::addSecurity(TransferProperties &p, const TransferJob *job)
{
    p.keyChanged = job && job->peerKeyChanged();
    const QString text = job ? job->encryptionText() : QString();
    if (text.isEmpty())
        p.chiffrement = QStringLiteral("—");
    else if (job->isEncrypted() && !job->comparisonCode().isEmpty())
        p.chiffrement = text + QStringLiteral(" — code de comparaison ") + job->comparisonCode();
    else
        p.chiffrement = text;
    if (p.keyChanged)
        p.chiffrement += QStringLiteral(" — clé de ") + job->FichierProprio() + QStringLiteral(" changée");
}

QString TransferProperties::speedOf(const TransferJob *job)
{
    if (!job || !job->isMoving())
        return QStringLiteral("—");
    return TransferRate::caption(job->rate(), job->secondsLeft());
}
