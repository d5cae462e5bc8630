// Bytes a peer sends on the control channel: cut into messages by the framer
// (fed in pieces the way reads arrive), then every message through the
// readers the channel applies to it.
#include "negotiation/ControlMessage.h"

#include "base/Cp1252.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses where the reads are cut.
    const size_t step = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    ControlMessage::Framer framer;
    for (qsizetype at = 0; at < bytes.size(); at += qsizetype(step)) {
        // A view of the read, not a copy: the framer copies what it keeps.
        const auto result = framer.feed(QByteArray::fromRawData(
            bytes.constData() + at, qMin(qsizetype(step), bytes.size() - at)));
        if (framer.pendingSize() > ControlMessage::Framer::kMaxPending)
            std::abort(); // the bound the framer promises
        for (const QByteArray &raw : result.messages) {
            if (raw.contains(ControlMessage::kEnd))
                std::abort();
            const QString message = Cp1252::decode(raw);
            const auto command = ControlMessage::classify(message);
            const QString payload = ControlMessage::payload(message);
            if (command == ControlMessage::Command::Ask) {
                const auto offer = ControlMessage::parseOffer(payload);
                (void)ControlMessage::offerSize(offer.size);
                // What we would send back out must survive the peer's framer
                // and reader unchanged.
                const QString again = ControlMessage::makeOffer(offer);
                const auto reread = ControlMessage::parseOffer(ControlMessage::payload(again));
                if (ControlMessage::classify(again) != ControlMessage::Command::Ask)
                    std::abort();
                (void)reread;
            } else if (command == ControlMessage::Command::Can) {
                (void)ControlMessage::portText(message);
            }
        }
    }
    framer.clear();
    return 0;
}
