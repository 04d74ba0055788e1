#pragma once

#include <QByteArray>
#include <QString>

// The message payload: sender name, NUL, reply port in decimal, NUL, text.
// No header, no length, no terminator; one payload per TCP connection.

// The port a Quillbox listens on and a Quillpost sends to unless the settings
// say otherwise: the same in both programs, so that fresh installations of
// the two reach each other.
constexpr qint32 kDefaultPort = 505;

// The most a receiver takes as one payload; anything beyond is not read.
constexpr qsizetype kMaxPayloadBytes = 65536;

// parsePayload results.
constexpr qint16 kMessageAccepted = 0;
constexpr qint16 kMessageRejected = 1;
// The reply port of a payload that carries none, or one that is not a
// 32-bit number.
constexpr qint32 kNoReplyPort = -1;

// Line breaks travel as CR LF; the text fields hold LF.
QString toWireLineBreaks(const QString &fieldText);
QString fromWireLineBreaks(const QString &wireText);

// The bytes to send for a message typed in a text field (LF line breaks);
// in UTF-8 for an encrypted connection.
QByteArray composeMessage(const QString &senderName, qint32 replyPort, const QString &fieldText,
                          bool utf8 = false);

// Reads a payload (at most kMaxPayloadBytes of its bytes are taken): on
// acceptance text holds the message text alone (CR LF line breaks, NULs
// after the second separator kept), decoded once from the bytes. The caller
// sets replyPort to 0 beforehand; a payload without separators sets it to
// kNoReplyPort, as does a reply port that does not fit 32 bits. A payload
// with one separator is rejected after senderName was set. A payload that
// came encrypted (utf8) is UTF-8.
qint16 parsePayload(QByteArrayView bytes, QString &senderName, qint32 &replyPort, QString &text,
                    bool utf8 = false);
