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
    // Every record the reader gives comes out of the body, in the body's
    // order. Each search starts where the previous record's was found (never
    // beyond its true place), so the check stays linear in the body: a
    // search of the whole body per record made this target quadratic.
    qsizetype nameAt = 0, addressAt = 0;
    for (const auto &record : online) {
        nameAt = body.indexOf(record.name, nameAt);
        addressAt = body.indexOf(record.address, addressAt);
        if (nameAt < 0 || addressAt < 0)
            std::abort();
    }
    return 0;
}
