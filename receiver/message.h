#pragma once

#include "securetransport.h"
#include "wireformat.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The most a message read from one payload holds in memory: every byte may
// become a character of its own, and its sender's address is short.
constexpr qsizetype kMaxMessageHeldBytes = (kMaxPayloadBytes + 64) * qsizetype(sizeof(QChar));

// What became of a received message (stored in the history as its number).
enum class MessageFate
{
    Shown,         // in a window, not read through yet
    Read,          // the user read past it or replied
    UnreadAtClose, // still unread when its window closed
    NotShown       // a window limit kept it off the screen
};

// One received message as it travels from the listener to the router and on
// to a window: who sent it, where it came in, and its text.
struct Message
{
    QString name;                    // the sender's name as received (may be empty)
    QString address;                 // the sender's IP address, dotted for IPv4
    quint16 localPort = 0;           // the port of ours it arrived on
    qint32 replyPort = kNoReplyPort; // where the sender's own receiver listens, or kNoReplyPort
    QString text;                    // the message, CR LF line breaks
    qint64 historyId = 0;            // its entry in the history, 0 when not recorded
    QByteArray senderKey = {};       // the key it was encrypted with, empty when it came plain
    SenderTrust trust = SenderTrust::Plain;

    // A sender is the pair address and name.
    bool sameSender(const Message &other) const { return address == other.address && name == other.name; }
    // Where an answer goes: the reply port, or the port of ours it came in
    // on when the sender gave none.
    qint32 answerPort() const { return replyPort >= 0 ? replyPort : localPort; }
    // What the message holds in memory, for the queue's bound.
    qsizetype heldBytes() const
    {
        return (name.size() + address.size() + text.size()) * qsizetype(sizeof(QChar));
    }
};

// The message a payload carries, or nothing when the payload is rejected.
// One that came encrypted (senderKey not empty) is in UTF-8.
std::optional<Message> messageFromPayload(const QByteArray &payload, const QString &address,
                                          quint16 localPort, const QByteArray &senderKey = {});
