// A request target as the client sends it (raw, never percent-encoded)
// through the service's splitter.
#include "RawTarget.h"

#include <cstdint>
#include <cstdlib>

using namespace devserver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const RawTarget target(text);
    if (target.path().size() > text.size() || target.query().size() > text.size())
        std::abort();
    for (const auto &[name, value] : target.pairs()) {
        // The first pair of a name is the one value() gives.
        const auto found = target.value(name);
        if (!found)
            std::abort();
        (void)value;
    }
    (void)target.valueOr("id", "0");
    return 0;
}
