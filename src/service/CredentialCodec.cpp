#include "service/CredentialCodec.h"

#include "base/Cp1252.h"
#include "base/DialogService.h"

#include <QCryptographicHash>

namespace {

// The PC1 generator. All word arithmetic is modulo 65536.
class Pc1State
{
public:
    explicit Pc1State(const QByteArray &key)
    {
        m_key.fill(0);
        // The key text followed by its terminating zero; checked to fit.
        for (qsizetype n = 0; n < key.size() && n < 16; ++n)
            m_key[size_t(n)] = static_cast<uint8_t>(key.at(n));
    }

    // Mixing word of the next byte.
    uint16_t assemble()
    {
        m_w[0] = uint16_t(m_key[0] * 256 + m_key[1]);
        step();
        uint16_t mix = m_r;
        for (int j = 1; j <= 7; ++j) {
            m_w[j] = uint16_t(m_w[j - 1] ^ uint16_t(m_key[2 * j] * 256 + m_key[2 * j + 1]));
            step();
            mix ^= m_r;
        }
        m_i = 0;
        return mix;
    }

    void feedClearByte(uint8_t clear)
    {
        for (auto &k : m_key)
            k ^= clear;
    }

    static uint8_t mask(uint16_t mix) { return uint8_t((mix >> 8) ^ (mix & 0xFF)); }

private:
    void step()
    {
        const uint16_t w = m_w[m_i];
        const uint16_t d = uint16_t(m_s + uint16_t(m_x + m_i) * 0x4E35u + 0x015Au * w);
        m_s = uint16_t(0x015Au * w);
        m_w[m_i] = uint16_t(w * 0x4E35u + 1u);
        m_x = d;
        m_r = uint16_t(m_w[m_i] ^ m_x);
        ++m_i;
    }

    std::array<uint8_t, 16> m_key{};
    std::array<uint16_t, 8> m_w{};
    uint16_t m_x = 0;
    uint16_t m_s = 0;
    uint16_t m_r = 0;
    int m_i = 0;
};

} // namespace

CredentialCodec::CredentialCodec(DialogService *dialogs)
    : m_dialogs(dialogs)
{
}

QString CredentialCodec::MD5Hex(const QString &text)
{
    const QByteArray digest = QCryptographicHash::hash(Cp1252::encode(text), QCryptographicHash::Md5);
    return QString::fromLatin1(digest.toHex());
}

QString CredentialCodec::DeriveUserKey(const QString &pseudonym)
{
    int32_t a = 0;
    // Wrapping 32-bit arithmetic done in unsigned to stay well defined.
    uint32_t acc = 0;
    for (unsigned char b : Cp1252::encode(pseudonym))
        acc += b;
    for (unsigned char v : QByteArrayLiteral("47193582"))
        acc += uint32_t(v) * (uint32_t(v) + 56u);
    a = int32_t(acc);
    const int32_t q = int32_t(uint32_t(a) * uint32_t(a));
    return QString::number(q);
}

bool CredentialCodec::checkKey(const QString &key) const
{
    if (key.size() >= 16) {
        if (m_dialogs)
            m_dialogs->showMessage(QStringLiteral("Key must be <=16 characters"),
                                   QStringLiteral("Error"), DialogService::Kind::Error);
        return false;
    }
    return true;
}

bool CredentialCodec::PC1EncryptText(const QString &key, const QString &text, QString &target) const
{
    if (text.isEmpty() || key.isEmpty())
        return false;
    if (!checkKey(key))
        return false;
    const QByteArray clear = Cp1252::encode(text);
    // The letter buffer holds 33 000 letters; a longer text cannot be
    // encoded whole, so it gives no result rather than a cut one.
    if (clear.size() > kMaxClearBytes)
        return false;

    Pc1State state(Cp1252::encode(key));
    QString out;
    out.reserve(2 * (clear.size() + 1));
    auto encodeByte = [&](uint8_t p) {
        const uint16_t mix = state.assemble();
        state.feedClearByte(p);
        const uint8_t c = uint8_t(p ^ Pc1State::mask(mix));
        out.append(QChar(u'a' + (c >> 4)));
        out.append(QChar(u'a' + (c & 15)));
    };
    for (unsigned char p : clear)
        encodeByte(p);
    encodeByte(0);
    target = out;
    return true;
}

bool CredentialCodec::PC1DecryptText(const QString &key, const QString &letters, QString &target) const
{
    if (letters.isEmpty() || key.isEmpty())
        return false;
    if (!checkKey(key))
        return false;

    Pc1State state(Cp1252::encode(key));
    QByteArray clear;
    const qsizetype count = std::min<qsizetype>(letters.size(), kMaxLetters);
    for (qsizetype pos = 0; pos < count; pos += 2) {
        // An odd last letter pairs with nothing: it stands for a zero low
        // nibble partner, i.e. the pair (h, 'a' - 'a').
        const int h = letters.at(pos).unicode() - u'a';
        const int l = pos + 1 < letters.size() ? letters.at(pos + 1).unicode() - u'a' : 0;
        uint8_t c = uint8_t(h * 16 + l);
        const uint16_t mix = state.assemble();
        c = uint8_t(c ^ Pc1State::mask(mix));
        state.feedClearByte(c);
        if (c == 0)
            break;
        clear.append(static_cast<char>(c));
    }
    target = Cp1252::decode(clear);
    return true;
}

bool CredentialCodec::EncryptForUser(const QString &pseudonym, const QString &text, QString &target) const
{
    return PC1EncryptText(DeriveUserKey(pseudonym), text, target);
}

bool CredentialCodec::DecryptForUser(const QString &pseudonym, const QString &letters, QString &target) const
{
    return PC1DecryptText(DeriveUserKey(pseudonym), letters, target);
}
