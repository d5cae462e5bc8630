#include "transfer/TransferRate.h"

#include <QLocale>
#include <QStringList>

#include <cmath>

TransferRate::TransferRate(qint64 windowMs)
    : m_window(qMax<qint64>(1, windowMs))
{
}

void TransferRate::reset()
{
    m_samples.clear();
}

void TransferRate::sample(qint64 nowMs, qint64 position)
{
    if (!m_samples.empty() && (position < m_samples.back().position || nowMs < m_samples.back().time))
        m_samples.clear();
    if (!m_samples.empty() && m_samples.back().time == nowMs)
        m_samples.back().position = position;
    else
        m_samples.push_back({ nowMs, position });
    // The count is a step function of time: the last sample at or before
    // the window's start tells the count there; older ones are not needed.
    const qint64 start = nowMs - m_window;
    while (m_samples.size() > 1 && m_samples[1].time <= start)
        m_samples.pop_front();
}

std::optional<double> TransferRate::bytesPerSecond(qint64 nowMs) const
{
    if (m_samples.empty())
        return std::nullopt;
    const qint64 start = nowMs - m_window;
    // The count at the window's start, or at the first sample when the
    // measure is younger than the window.
    const Sample *base = &m_samples.front();
    for (const Sample &s : m_samples) {
        if (s.time > start)
            break;
        base = &s;
    }
    const qint64 from = qMax(base->time, start);
    const qint64 span = nowMs - from;
    if (span < MinimumSpanMs && base->time > start)
        return std::nullopt;
    if (span <= 0)
        return std::nullopt;
    const qint64 moved = m_samples.back().position - base->position;
    return double(moved) * 1000.0 / double(span);
}

std::optional<qint64> TransferRate::secondsLeft(qint64 nowMs, qint64 total) const
{
    const auto rate = bytesPerSecond(nowMs);
    if (!rate || *rate <= 0.0 || m_samples.empty())
        return std::nullopt;
    const qint64 remaining = qMax<qint64>(0, total - m_samples.back().position);
    return qint64(std::ceil(double(remaining) / *rate));
}

QString TransferRate::rateText(double bytesPerSecond)
{
    const double n = qMax(0.0, bytesPerSecond);
    if (n < 1024.0)
        return QString::number(qRound64(n)) + QStringLiteral(" o/s");
    if (n / 1024.0 < 1024.0)
        return QString::number(qRound64(n / 1024.0)) + QStringLiteral(" Ko/s");
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(n / 1048576.0, 'f', 1) + QStringLiteral(" Mo/s");
}

QString TransferRate::timeLeftText(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    if (seconds < 60)
        return QString::number(seconds) + (seconds > 1 ? QStringLiteral(" s restantes") : QStringLiteral(" s restante"));
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    if (seconds < 3600)
        return QString::number(seconds / 60) + QStringLiteral(" min ") + two(seconds % 60) + QStringLiteral(" s restantes");
    const qint64 minutes = (seconds + 59) / 60; // never says less than is left
    return QString::number(minutes / 60) + QStringLiteral(" h ") + two(minutes % 60) + QStringLiteral(" min restantes");
}

QString TransferRate::caption(std::optional<double> bytesPerSecond, std::optional<qint64> secondsLeft)
{
    if (!bytesPerSecond)
        return QStringLiteral("Calcul de la vitesse…");
    if (*bytesPerSecond <= 0.0)
        return QStringLiteral("En attente de données");
    if (!secondsLeft)
        return rateText(*bytesPerSecond);
    return rateText(*bytesPerSecond) + QStringLiteral(" — ") + timeLeftText(*secondsLeft);
}

QString TransferRate::totalsText(std::optional<double> download, std::optional<double> upload)
{
    QStringList parts;
    if (download)
        parts << QStringLiteral("Réception : ") + rateText(*download);
    if (upload)
        parts << QStringLiteral("Envoi : ") + rateText(*upload);
    return parts.join(QStringLiteral("   "));
}
