#include "base/TextConvert.h"

#include "base/ErrorReport.h"

#include <limits>

bool TextConvert::tryStrToInt64(const QString &text, qint64 &value)
{
    if (text.isEmpty())
        return false;
    qsizetype i = 0;
    bool negative = false;
    if (text.at(0) == u'-' || text.at(0) == u'+') {
        negative = text.at(0) == u'-';
        i = 1;
    }
    if (i >= text.size())
        return false;
    // Accumulate as unsigned to detect overflow exactly.
    quint64 acc = 0;
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return false;
        const quint64 digit = c - u'0';
        if (acc > (limit - digit) / 10)
            return false;
        acc = acc * 10 + digit;
    }
    value = negative ? qint64(0 - acc) : qint64(acc);
    return true;
}

bool TextConvert::tryStrToInt(const QString &text, int &value)
{
    qint64 wide = 0;
    if (!tryStrToInt64(text, wide) || wide < std::numeric_limits<int>::min()
        || wide > std::numeric_limits<int>::max())
        return false;
    value = int(wide);
    return true;
}

int TextConvert::strToInt(const QString &text)
{
    int value = 0;
    if (!tryStrToInt(text, value))
        throw VoxlaneError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

qint64 TextConvert::strToInt64(const QString &text)
{
    qint64 value = 0;
    if (!tryStrToInt64(text, value))
        throw VoxlaneError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

int TextConvert::strToIntDef(const QString &text, int fallback)
{
    int value = 0;
    return tryStrToInt(text, value) ? value : fallback;
}

qint64 TextConvert::strToInt64Def(const QString &text, qint64 fallback)
{
    qint64 value = 0;
    return tryStrToInt64(text, value) ? value : fallback;
}
