#include "ConnectionLimits.h"

#include <algorithm>
#include <utility>

namespace devserver {

ConnectionLimits::ConnectionLimits()
    : ConnectionLimits(Settings {})
{
}

ConnectionLimits::ConnectionLimits(Settings settings)
    : m_settings(std::move(settings))
{
}

bool ConnectionLimits::isTrustedProxy(const std::string &remote) const
{
    const auto &proxies = m_settings.trustedProxies;
    return std::find(proxies.begin(), proxies.end(), remote) != proxies.end();
}

ConnectionLimits::Admission ConnectionLimits::admit(const std::string &remote)
{
    const bool room = m_served < m_settings.maxConnections
        && (isTrustedProxy(remote) || heldBy(remote) < m_settings.maxPerAddress);
    if (room) {
        ++m_served;
        ++m_perAddress[remote];
        return Admission::Serve;
    }
    if (m_refusing >= m_settings.maxRefusing)
        return Admission::Drop;
    ++m_refusing;
    return Admission::Refuse;
}

void ConnectionLimits::release(const std::string &remote, Admission admitted)
{
    switch (admitted) {
    case Admission::Serve:
        --m_served;
        if (const auto it = m_perAddress.find(remote); it != m_perAddress.end() && --it->second <= 0)
            m_perAddress.erase(it);
        break;
    case Admission::Refuse:
        --m_refusing;
        break;
    case Admission::Drop:
        break;
    }
}

int ConnectionLimits::heldBy(const std::string &remote) const
{
    const auto it = m_perAddress.find(remote);
    return it == m_perAddress.end() ? 0 : it->second;
}

bool ConnectionLimits::reserveBody(std::size_t bytes)
{
    // Written as a subtraction: a length near the type's maximum must not
    // wrap around into a small total.
    if (bytes > m_settings.maxBufferedBodies - std::min(m_bufferedBodies, m_settings.maxBufferedBodies))
        return false;
    m_bufferedBodies += bytes;
    return true;
}

void ConnectionLimits::releaseBody(std::size_t bytes)
{
    m_bufferedBodies -= std::min(bytes, m_bufferedBodies);
}

ConnectionLimits::Verdict ConnectionLimits::due(const Progress &p, bool headDone, std::int64_t now) const
{
    const std::int64_t age = now - p.openedAt;
    const std::int64_t inPhase = now - p.phaseStart;
    switch (p.phase) {
    case Phase::Reading:
        if (!p.receivedAny && age >= m_settings.idleMs)
            return Verdict::Close; // nothing to answer
        if ((!headDone && age >= m_settings.headMs) || age >= m_settings.requestMs)
            return Verdict::RequestTimeout;
        return Verdict::Wait;
    case Phase::Refusing:
        return inPhase >= m_settings.refuseReadMs ? Verdict::Refuse : Verdict::Wait;
    case Phase::Writing:
        return inPhase >= m_settings.writeMs ? Verdict::Close : Verdict::Wait;
    case Phase::Lingering:
        return inPhase >= m_settings.lingerMs ? Verdict::Close : Verdict::Wait;
    case Phase::Handling:
        break; // the worker's answer comes; the handler has no time limit of its own
    }
    return Verdict::Wait;
}

} // namespace devserver
