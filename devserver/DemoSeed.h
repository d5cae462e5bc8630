#pragma once

#include "Store.h"

#include <cstdint>

namespace devserver {

// The demo community: alice, bob and carol, whose passwords are their
// pseudonyms, each with an avatar and a card; alice and bob are contacts of
// each other and carol's contact request waits for alice. Running it again
// changes nothing that is already there, so it is safe on every start.
class DemoSeed
{
public:
    static void apply(Store &store, std::int64_t now);

private:
    static void seed(Store &store, std::int64_t now);
};

} // namespace devserver
