#include "PasswordHash.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cctype>
#include <random>

namespace devserver {

namespace {

QByteArrayView view(std::string_view s)
{
    return QByteArrayView(s.data(), static_cast<qsizetype>(s.size()));
}

std::string lowerHex(std::string_view hex)
{
    std::string out(hex);
    std::transform(out.begin(), out.end(), out.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

} // namespace

std::string PasswordHash::md5Hex(std::string_view password)
{
    return QCryptographicHash::hash(view(password), QCryptographicHash::Md5).toHex().toStdString();
}

std::string PasswordHash::hash(std::string_view salt, std::string_view digestHex)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(view(salt));
    h.addData(view(lowerHex(digestHex)));
    return h.result().toStdString();
}

PasswordHash::Stored PasswordHash::make(std::string_view digestHex)
{
    std::random_device random;
    std::string salt(16, '\0');
    for (char &c : salt)
        c = static_cast<char>(random() & 0xFF);
    return { salt, hash(salt, digestHex) };
}

bool PasswordHash::matches(const Stored &stored, std::string_view digestHex)
{
    const std::string candidate = hash(stored.salt, digestHex);
    if (candidate.size() != stored.hash.size())
        return false;
    unsigned char diff = 0; // same time whatever the first differing byte
    for (std::size_t i = 0; i < candidate.size(); ++i)
        diff |= static_cast<unsigned char>(candidate[i] ^ stored.hash[i]);
    return diff == 0;
}

} // namespace devserver
