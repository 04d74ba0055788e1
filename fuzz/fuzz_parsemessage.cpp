// Any bytes a peer may send: decoding and splitting never fail, and a payload
// composed from what was parsed parses back to the same fields (the name
// may differ only when Windows-1252 bytes happen to form valid UTF-8).
#include "wireformat.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString message = decodePayload(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    QString sender, sender2;
    qint32 port = 0, port2 = 0;
    if (parseMessage(message, sender, port) != kMessageAccepted)
        return 0;
    const QByteArray composed = composeMessage(sender, port, fromWireLineBreaks(message));
    QString again = decodePayload(composed);
    if (sender.contains(QChar(u'\0')) || parseMessage(again, sender2, port2) != kMessageAccepted ||
        port2 != port)
        std::abort();
    if (sender2 != sender && QString::fromUtf8(composed).toUtf8() != composed)
        std::abort();
    return 0;
}
