// libFuzzer target for the hand-over message as the serving side reads it:
// any bytes give a message that is incomplete, too long or complete, never
// anything more than their length says; a complete one's texts hold no NUL
// and come through a new message unchanged; every shorter part of a complete
// message is incomplete.
#include "platform/InstanceLink.h"

#include <QtEndian>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const InstanceLink::Parsed parsed = InstanceLink::parseMessage(bytes);
    using P = InstanceLink::Parsed;
    if (size < 4) {
        if (parsed.state != P::Incomplete)
            std::abort();
        return 0;
    }
    const quint32 length = qFromBigEndian<quint32>(data);
    if ((parsed.state == P::TooLong) != (length > quint32(InstanceLink::MaxMessageBytes)))
        std::abort();
    if (parsed.state != P::Complete)
        return 0;
    if (size < 4 + std::size_t(length) || parsed.texts.isEmpty())
        std::abort();
    for (const QString &text : parsed.texts) {
        if (text.contains(QChar(u'\0')))
            std::abort();
    }
    const InstanceLink::Parsed again =
        InstanceLink::parseMessage(InstanceLink::encodeMessage(parsed.texts));
    if (again.state != P::Complete || again.texts != parsed.texts)
        std::abort();
    if (InstanceLink::parseMessage(bytes.left(4 + qsizetype(length) - 1)).state != P::Incomplete)
        std::abort();
    return 0;
}
