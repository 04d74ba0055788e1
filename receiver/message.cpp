#include "message.h"

std::optional<Message> messageFromPayload(const QByteArray &payload, const QString &address,
                                          quint16 localPort, const QByteArray &senderKey)
{
    Message message;
    message.senderKey = senderKey;
    message.replyPort = 0;
    if (parsePayload(payload, message.name, message.replyPort, message.text, !senderKey.isEmpty()) !=
        kMessageAccepted)
        return std::nullopt;
    message.address = address;
    message.localPort = localPort;
    return message;
}
