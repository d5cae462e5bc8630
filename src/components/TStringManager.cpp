#include "components/TStringManager.h"

#include "base/Cp1252.h"

const TStringManager &TStringManager::instance()
{
    static const TStringManager manager;
    return manager;
}

TStringManager::TStringManager()
{
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const QChar lower = Cp1252::charOf(byte).toLower();
        const unsigned char mapped = Cp1252::byteOf(lower);
        // A lower case the code page cannot carry (none today, but the
        // Unicode tables are not ours) leaves the byte as it is rather than
        // turning it into '?'.
        m_lower[b] = (mapped == '?' && lower != u'?') ? byte : mapped;
    }
}

bool TStringManager::IsBlank(const QString &text) const
{
    for (QChar c : text) {
        if (c.unicode() > 32)
            return false;
    }
    return true;
}

QChar TStringManager::FirstChar(const QString &text) const
{
    return text.isEmpty() ? QChar(0) : text.at(0);
}

QString TStringManager::LowerText(const QString &text) const
{
    QString out = text;
    for (QChar &c : out) {
        const unsigned char byte = Cp1252::byteOf(c);
        if (byte == '?' && c != u'?')
            continue; // not a Windows-1252 character: left alone
        c = Cp1252::charOf(m_lower[byte]);
    }
    return out;
}

int TStringManager::PosFrom(const QString &sub, const QString &text, int start) const
{
    if (sub.isEmpty())
        return 0;
    if (start < 1)
        start = 1;
    if (start > text.size())
        return 0;
    const qsizetype at = text.indexOf(sub, start - 1, Qt::CaseSensitive);
    return at < 0 ? 0 : static_cast<int>(at) + 1;
}

int TStringManager::CharPosFrom(QChar c, const QString &text, int start) const
{
    return PosFrom(QString(c), text, start);
}

int TStringManager::NthPos(const QString &sub, const QString &text, int n) const
{
    if (n < 1)
        return 0;
    int pos = 0;
    for (int found = 0; found < n; ++found) {
        pos = PosFrom(sub, text, pos + 1);
        if (pos == 0)
            return 0;
    }
    return pos;
}

QString TStringManager::TextAfter(const QString &sub, const QString &text) const
{
    const int pos = PosFrom(sub, text, 1);
    return pos == 0 ? QString() : text.mid(pos - 1 + sub.size());
}

QString TStringManager::TextBefore(const QString &sub, const QString &text) const
{
    const int pos = PosFrom(sub, text, 1);
    return pos == 0 ? text : text.left(pos - 1);
}
