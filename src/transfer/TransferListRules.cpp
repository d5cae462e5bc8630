#include "transfer/TransferListRules.h"

#include "base/DrawingHelpers.h"

const QString TransferListRules::PauseCaption = QStringLiteral("Pau&se");
const QString TransferListRules::ResumeCaption = QStringLiteral("Reprendre");
const QString TransferListRules::PausedProgressCaption = QStringLiteral("Pause");
const QString TransferListRules::CancelledStatus = QStringLiteral("annule");
const QString TransferListRules::CancelQuestion
    = QStringLiteral("Êtes-vous sûr de vouloir annuler ce téléchargement ?\n\rIl sera supprimé de la liste.");

QImage TransferListRules::background(QSize size, bool highlighted)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    DrawingHelpers::Degrade(image, true, highlighted ? HighlightedFrom : NormalFrom,
                            highlighted ? HighlightedTo : NormalTo);
    return image;
}

QString TransferListRules::ExtractFileExt(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? QString() : fileName.mid(dot);
}

QString TransferListRules::ExtractFilePath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

bool TransferListRules::isPlayable(const QString &fichierName)
{
    static const QStringList playable = { QStringLiteral(".mp3"), QStringLiteral(".avi"), QStringLiteral(".wma"),
                                          QStringLiteral(".wmv"), QStringLiteral(".mpeg") };
    return playable.contains(ExtractFileExt(fichierName), Qt::CaseSensitive);
}

TransferListRules::MenuState TransferListRules::popupMenuState(bool dataSocketActive, const QString &status,
                                                               const QString &fichierName)
{
    MenuState s;
    s.pauseCaption = dataSocketActive ? PauseCaption : ResumeCaption;
    s.pauseEnabled = status != QLatin1String("0");
    s.lectureEnabled = isPlayable(fichierName);
    return s;
}

QList<int> TransferListRules::finishedFromLast(const QStringList &statuses)
{
    QList<int> out;
    for (qsizetype i = statuses.size() - 1; i >= 0; --i)
        if (statuses.at(i) == QLatin1String("0") || statuses.at(i) == CancelledStatus)
            out.append(int(i));
    return out;
}

QString TransferListRules::DateFromIDTel(const QString &idTel)
{
    constexpr int StampLength = 17;
    if (idTel.size() < StampLength)
        return QString();
    const QString stamp = idTel.right(StampLength);
    for (const QChar c : stamp)
        if (c < u'0' || c > u'9')
            return QString();
    // YYYY MM DD HH NN SS zzz
    return stamp.mid(6, 2) + u'/' + stamp.mid(4, 2) + u'/' + stamp.left(4) + u' ' + stamp.mid(8, 2) + u':'
           + stamp.mid(10, 2);
}
