#include "message.h"

std::optional<Message> messageFromPayload(const QByteArray &payload, const QString &address,
                                          quint16 localPort, const QByteArray &senderKey)
{
    Message message;
    message.text =
        senderKey.isEmpty() ? decodePayload(payload) : QString::fromUtf8(payload.left(kMaxPayloadBytes));
    message.senderKey = senderKey;
    message.replyPort = 0;
    if (parseMessage(message.text, message.name, message.replyPort) != kMessageAccepted)
        return std::nullopt;
    message.address = address;
    message.localPort = localPort;
    return message;
}
