// Bodies of the smaller service replies: a member id, the registered
// spelling of a pseudonym, a business card, and the plain acknowledgements.
#include "service/ServiceReplies.h"

#include "base/Cp1252.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString body = Cp1252::decode(reinterpret_cast<const char *>(data), qsizetype(size));

    int id = -12345;
    if (!ServiceReplies::readMemberId(body, id) && id != -12345)
        std::abort(); // a refused id leaves the caller's value alone

    const auto card = ServiceReplies::readCardDetails(body);
    if (card.web.size() > 255)
        std::abort();
    (void)ServiceReplies::readRegisteredSpelling(body);
    (void)ServiceReplies::isOk(body);
    const QStringList lines = ServiceReplies::splitLines(body);
    for (const QString &line : lines) {
        if (line.contains(QLatin1Char('\n')))
            std::abort();
    }
    return 0;
}
