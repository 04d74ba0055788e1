// Any bytes a peer may send: decoding and splitting never fail, and a payload
// composed from what was parsed parses back to the same fields (the name
// may differ only when Windows-1252 bytes happen to form valid UTF-8).
#include "wireformat.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString message, again, sender, sender2;
    qint32 port = 0, port2 = 0;
    if (parsePayload(QByteArrayView(data, qsizetype(size)), sender, port, message) != kMessageAccepted)
        return 0;
    const QByteArray composed = composeMessage(sender, port, fromWireLineBreaks(message));
    if (sender.contains(QChar(u'\0')) || parsePayload(composed, sender2, port2, again) != kMessageAccepted ||
        port2 != port)
        std::abort();
    if (sender2 != sender && QString::fromUtf8(composed).toUtf8() != composed)
        std::abort();
    return 0;
}
