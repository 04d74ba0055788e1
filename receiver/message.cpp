#include "message.h"

std::optional<Message> messageFromPayload(const QByteArray &payload, const QString &address,
                                          quint16 localPort)
{
    Message message;
    message.text = decodePayload(payload);
    message.replyPort = 0;
    if (parseMessage(message.text, message.name, message.replyPort) != kMessageAccepted)
        return std::nullopt;
    message.address = address;
    message.localPort = localPort;
    return message;
}
