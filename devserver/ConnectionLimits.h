#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace devserver {

// What clients may hold of the HTTP server, and for how long: how many
// connections in all and from one address, how many refusals at once, how
// much memory for request bodies, and the deadline of each phase of a
// connection. Bookkeeping only, with no socket and no clock of its own: the
// server says what happens and what time it is (milliseconds of its clock),
// and does what this answers.
class ConnectionLimits
{
public:
    struct Settings
    {
        // Connections being read, answered or written, from all addresses.
        int maxConnections = 512;
        // ... and from one remote address.
        int maxPerAddress = 32;
        // Connections over a limit are still read and answered 503; beyond
        // this many of those at once, an address over its limit is closed
        // straight away so that the others are still accepted.
        int maxRefusing = 256;
        // Request bodies held in memory, all connections together.
        std::size_t maxBufferedBodies = 48 * 1024 * 1024;
        // A connection that has sent nothing at all.
        std::int64_t idleMs = 2000;
        // The whole request head, counted from the connection, however
        // steadily its bytes trickle in.
        std::int64_t headMs = 10000;
        // The whole request, body included.
        std::int64_t requestMs = 60000;
        // Reading the request of a connection that is going to be refused.
        std::int64_t refuseReadMs = 1000;
        // Writing the reply.
        std::int64_t writeMs = 30000;
        // After the reply, reading what the client still sends, so that
        // closing does not reset the connection and lose the reply.
        std::int64_t lingerMs = 1000;
        // Load balancers in front of this instance (IPv4 addresses). A
        // request from one of them comes from the address it names last in
        // X-Forwarded-For (400 without one); its connections count against
        // maxConnections only, the balancer limiting each client itself.
        std::vector<std::string> trustedProxies;
    };

    enum class Admission {
        Serve, // read and answered by the handler
        Refuse, // over a limit: read, then answered 503 whatever it asks
        Drop, // over a limit with too many refusals already: closed at once
    };

    enum class Phase {
        Reading, // the request, to be answered by the handler
        Refusing, // the request, to be answered 503 whatever it is
        Handling, // a worker is answering
        Writing,
        Lingering, // reply sent, reading what the client still sends
    };

    // Where one connection is, and since when.
    struct Progress
    {
        Phase phase = Phase::Reading;
        std::int64_t openedAt = 0;
        std::int64_t phaseStart = 0;
        bool receivedAny = false; // a request byte (over TLS: once decrypted)

        static Progress opened(Phase first, std::int64_t now) { return { first, now, now, false }; }
        void enter(Phase next, std::int64_t now)
        {
            phase = next;
            phaseStart = now;
        }
    };

    enum class Verdict {
        Wait,
        Close, // without a word: nobody asked anything, or the reply is out
        RequestTimeout, // answer 408
        Refuse, // answer 503
    };

    ConnectionLimits();
    explicit ConnectionLimits(Settings settings);

    const Settings &settings() const { return m_settings; }
    bool isTrustedProxy(const std::string &remote) const;

    // A new connection from `remote`: Serve and Refuse count it until
    // release(); Drop counts nothing.
    Admission admit(const std::string &remote);
    void release(const std::string &remote, Admission admitted);

    // Holds room for a request body; false, holding nothing, when all the
    // bodies together would pass the limit.
    bool reserveBody(std::size_t bytes);
    void releaseBody(std::size_t bytes);

    // What is due now to a connection whose request head is (or is not) read.
    Verdict due(const Progress &progress, bool headDone, std::int64_t now) const;

    int served() const { return m_served; }
    int refusing() const { return m_refusing; }
    int heldBy(const std::string &remote) const;
    std::size_t bufferedBodies() const { return m_bufferedBodies; }

private:
    Settings m_settings;
    std::map<std::string, int> m_perAddress;
    int m_served = 0;
    int m_refusing = 0;
    std::size_t m_bufferedBodies = 0;
};

} // namespace devserver
