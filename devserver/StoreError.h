#pragma once

#include <stdexcept>

namespace devserver {

// Any failure of the database, whichever engine holds it; the service
// answers it as a service error.
class StoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace devserver
