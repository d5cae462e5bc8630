// Bodies the community service answers to the log-in and the presence poll,
// through the readers the session and the presence monitor use.
#include "service/ServiceReplies.h"

#include "base/Cp1252.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString body = Cp1252::decode(reinterpret_cast<const char *>(data), qsizetype(size));

    const auto login = ServiceReplies::readLogin(body);
    if (login.outcome != ServiceReplies::loginOutcome(body))
        std::abort();
    for (const QString &contact : login.contacts)
        (void)ServiceReplies::trimBlanks(contact);
    (void)ServiceReplies::isDisconnected(body);

    const auto online = ServiceReplies::readPresence(body);
    for (const auto &record : online) {
        // Every record the reader gives comes out of the body.
        if (!body.contains(record.name) || !body.contains(record.address))
            std::abort();
    }
    return 0;
}
