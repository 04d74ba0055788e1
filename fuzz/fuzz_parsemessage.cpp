// Any bytes a peer may send: decoding and splitting never fail, and a payload
// we compose from what was parsed parses back to the same fields. (The one
// exception is inherent to reading peers' code pages: Windows-1252 text whose
// bytes happen to form valid UTF-8 is read as UTF-8.)
#include "wireformat.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QString message = decodePayload(bytes);
    QString sender;
    qint32 port = 0;
    if (parseMessage(message, sender, port) != kMessageAccepted)
        return 0;
    if (sender.contains(QChar(u'\0')))
        std::abort();

    const QByteArray composed = composeMessage(sender, port, fromWireLineBreaks(message));
    QString again = decodePayload(composed);
    QString sender2;
    qint32 port2 = 0;
    if (parseMessage(again, sender2, port2) != kMessageAccepted || port2 != port)
        std::abort();
    const bool readAsUtf8 = QString::fromUtf8(composed).toUtf8() == composed;
    if (sender2 != sender && !readAsUtf8)
        std::abort();
    return 0;
}
