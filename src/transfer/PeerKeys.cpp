#include "transfer/PeerKeys.h"

#include "base/Cp1252.h"
#include "base/SafeFile.h"
#include "transfer/PeerIdentity.h"

#include <QDir>
#include <QFile>

const QString PeerKeys::FileName = QStringLiteral("voxlane-cles-membres.txt");

namespace {
std::shared_ptr<TransferSecurity> &defaultSecurity()
{
    static std::shared_ptr<TransferSecurity> security;
    return security;
}
} // namespace

bool PeerKeys::restrictToOwner(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return true;
    const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if ((file.permissions() & ~(owner | QFileDevice::ReadUser | QFileDevice::WriteUser)) == 0)
        return true;
    return file.setPermissions(owner);
}

PeerKeys::PeerKeys(const QString &path)
    : m_path(path)
{
    restrictToOwner(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype space = line.indexOf(' ');
        if (space != 64)
            continue;
        const QByteArray key = QByteArray::fromHex(line.left(space));
        const QString pseudo = Cp1252::decode(line.mid(space + 1));
        if (key.size() == 32 && !pseudo.isEmpty())
            m_keys.insert(pseudo, key);
    }
}

PeerKeys::Verdict PeerKeys::check(const QString &pseudo, const QByteArray &key) const
{
    const auto found = m_keys.constFind(pseudo);
    if (found == m_keys.constEnd())
        return Verdict::Unknown;
    return *found == key ? Verdict::Same : Verdict::Changed;
}

namespace {
// A pseudonym that would break its line is never written.
bool fitsALine(const QString &pseudo)
{
    return !pseudo.isEmpty() && !pseudo.contains(u'\n') && !pseudo.contains(u'\r');
}
} // namespace

bool PeerKeys::rememberFirst(const QString &pseudo, const QByteArray &key, QString *error)
{
    if (!fitsALine(pseudo) || key.isEmpty() || m_keys.contains(pseudo))
        return false;
    m_keys.insert(pseudo, key);
    return save(error);
}

bool PeerKeys::accept(const QString &pseudo, const QByteArray &key, QString *error)
{
    if (!fitsALine(pseudo) || key.isEmpty())
        return false;
    m_keys.insert(pseudo, key);
    return save(error);
}

bool PeerKeys::forget(const QString &pseudo, QString *error)
{
    if (!m_keys.remove(pseudo))
        return false;
    return save(error);
}

bool PeerKeys::save(QString *error)
{
    QStringList pseudos = m_keys.keys();
    pseudos.sort();
    QByteArray text;
    for (const QString &pseudo : pseudos)
        text += m_keys.value(pseudo).toHex() + ' ' + Cp1252::encode(pseudo) + '\n';
    // A new file is its owner's only; an old one is made so first.
    restrictToOwner(m_path);
    return SafeFile::writeWhole(m_path, text, error);
}

std::shared_ptr<TransferSecurity> TransferSecurity::open(const QString &folder, QString *error)
{
    auto identity = PeerIdentity::loadOrCreate(folder, error);
    if (!identity)
        return nullptr;
    auto security = std::make_shared<TransferSecurity>();
    security->identity = std::move(identity);
    security->keys = std::make_shared<PeerKeys>(QDir(folder).filePath(PeerKeys::FileName));
    return security;
}

void TransferSecurity::setDefault(std::shared_ptr<TransferSecurity> security)
{
    defaultSecurity() = std::move(security);
}

std::shared_ptr<TransferSecurity> TransferSecurity::byDefault()
{
    return defaultSecurity();
}
