#pragma once

#include <string>
#include <string_view>

namespace devserver {

// What the service keeps of a password. The client only ever sends the MD5
// digest of the password (32 lower-case hex digits), so that digest is the
// secret; it is stored salted and hashed, never as it came.
class PasswordHash
{
public:
    struct Stored
    {
        std::string salt; // 16 random bytes
        std::string hash; // SHA-256(salt || digest), 32 bytes
    };

    // MD5 over the password's Windows-1252 bytes, as the client computes it.
    static std::string md5Hex(std::string_view password);

    static Stored make(std::string_view digestHex);
    // Digits of the digest are compared ignoring letter case.
    static bool matches(const Stored &stored, std::string_view digestHex);

private:
    static std::string hash(std::string_view salt, std::string_view digestHex);
};

} // namespace devserver
