#include "transfer/FlightWindow.h"

#include <algorithm>

void FlightWindow::start(qint64 acknowledged, qint64 nowNs)
{
    Q_UNUSED(nowNs);
    *this = FlightWindow();
    m_highestSent = acknowledged;
    m_acknowledged = acknowledged;
}

void FlightWindow::setPeerWindow(qint32 blocks)
{
    // 0 only ever comes from a finished download, which takes no block.
    const qint64 limit = blocks > 0 ? qint64(blocks) * DataPacket::FastBlockSize : Floor;
    if (limit == m_peerLimit)
        return;
    m_peerLimit = limit;
    update();
}

qint64 FlightWindow::lowest() const
{
    return qMin(Floor, m_peerLimit);
}

qint64 FlightWindow::highest() const
{
    return qMin(Ceiling, m_peerLimit);
}

double FlightWindow::bestRate() const
{
    if (m_roundsDone == 0)
        return 0;
    // The last round counts however long it took.
    double best = m_rates[(m_roundsDone - 1) % RateRounds].bytesPerSecond;
    for (const Rate &r : m_rates)
        if (m_nowNs - r.atNs <= RateHorizonNs)
            best = qMax(best, r.bytesPerSecond);
    return best;
}

void FlightWindow::onSent(qint64 end, qint64 nowNs)
{
    if (end <= m_highestSent)
        return;
    m_highestSent = end;
    m_sent.push_back({ end, nowNs });
    if (!m_roundStarted) {
        // The first round starts with the first bytes sent.
        m_roundStarted = true;
        m_roundStartNs = nowNs;
        m_roundStartAcknowledged = m_acknowledged;
        m_roundEnd = end;
    }
    // Within a batch of the window: the window is what holds the sender.
    if (end - m_acknowledged >= m_bytes * 3 / 4)
        m_roundWindowLimited = true;
}

void FlightWindow::onAcknowledged(qint64 acknowledged, qint64 nowNs)
{
    if (acknowledged <= m_acknowledged)
        return;
    m_acknowledged = acknowledged;
    // Round trip: from the moment the last byte now acknowledged was sent.
    bool measured = false;
    qint64 sentAt = 0;
    while (!m_sent.empty() && m_sent.front().end <= acknowledged) {
        sentAt = m_sent.front().atNs;
        m_sent.pop_front();
        measured = true;
    }
    if (measured) {
        const qint64 rtt = qMax<qint64>(0, nowNs - sentAt);
        if (m_minRtt < 0 || rtt < m_minRtt)
            m_minRtt = rtt;
    }
    if (m_roundStarted && acknowledged >= m_roundEnd && nowNs > m_roundStartNs) {
        const double rate
            = double(acknowledged - m_roundStartAcknowledged) * 1e9 / double(nowNs - m_roundStartNs);
        endRound(rate, nowNs);
    }
}

void FlightWindow::endRound(double rate, qint64 nowNs)
{
    const bool windowLimited = m_roundWindowLimited;
    m_nowNs = nowNs;
    m_rates[m_roundsDone % RateRounds] = { rate, nowNs };
    ++m_roundsDone;
    m_roundStartNs = nowNs;
    m_roundStartAcknowledged = m_acknowledged;
    m_roundEnd = qMax(m_highestSent, m_acknowledged + 1);
    m_roundWindowLimited = false;

    m_stepRate = qMax(m_stepRate, rate);
    if (m_growing && windowLimited && ++m_stepRounds >= RoundsPerStep) {
        if (m_stepRate >= GrowthWorthIt * m_previousStepRate && m_grown < highest()) {
            m_previousStepRate = m_stepRate;
            m_grown = qMin(m_grown * 2, highest());
            m_stepRounds = 0;
            m_stepRate = 0;
        } else {
            // The last doubling did not pay: the window is past the knee.
            m_growing = false;
            m_kneeRate = qMax(m_stepRate, m_previousStepRate);
        }
    }
    if (!m_growing && m_roundsDone >= RateRounds && bestRate() < m_kneeRate / 2) {
        // The receiver fell behind: the window is found again from the
        // smallest, at the rate it has now.
        m_grown = lowest();
        m_growing = true;
        m_stepRounds = 0;
        m_stepRate = 0;
        m_previousStepRate = bestRate();
    }
    update();
}

void FlightWindow::update()
{
    double product = 0;
    if (m_minRtt > 0)
        product = Gain * bestRate() * double(m_minRtt) / 1e9;
    const double wanted = qMax(double(m_grown), product);
    m_bytes = qint64(std::clamp(wanted, double(lowest()), double(highest())));
}
