#include "wireformat.h"

#include "conversions.h"
#include "textcodec.h"

QString toWireLineBreaks(const QString &fieldText)
{
    QString text = fieldText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

QString fromWireLineBreaks(const QString &wireText)
{
    // Most texts have no CR at all and are handed back as they are.
    qsizetype cr = wireText.indexOf(u'\r');
    if (cr < 0)
        return wireText;
    const QStringView wire(wireText);
    QString text;
    text.reserve(wire.size());
    qsizetype copied = 0;
    for (; cr >= 0; cr = wire.indexOf(u'\r', cr + 1)) {
        if (cr + 1 < wire.size() && wire[cr + 1] == u'\n') {
            text += wire.sliced(copied, cr - copied);
            copied = cr + 1; // from the LF
        }
    }
    text += wire.sliced(copied);
    return text;
}

QByteArray composeMessage(const QString &senderName, qint32 replyPort, const QString &fieldText, bool utf8)
{
    const QString payload =
        senderName + QChar(u'\0') + QString::number(replyPort) + QChar(u'\0') + toWireLineBreaks(fieldText);
    return utf8 ? payload.toUtf8() : encodeForWire(payload);
}

QString decodePayload(const QByteArray &bytes)
{
    // A payload that fills the limit may have been cut off there.
    const bool cutOff = bytes.size() >= kMaxPayloadBytes;
    return decodeFromWire(QByteArrayView(bytes).first(qMin(bytes.size(), kMaxPayloadBytes)), cutOff);
}

qint16 parseMessage(QString &payload, QString &senderName, qint32 &replyPort)
{
    if (payload.isEmpty())
        return kMessageRejected;
    const qsizetype first = payload.indexOf(QChar(u'\0'));
    if (first < 0) {
        senderName.clear();
        replyPort = kNoReplyPort;
        return kMessageAccepted;
    }
    senderName = payload.left(first);
    const qsizetype second = payload.indexOf(QChar(u'\0'), first + 1);
    if (second < 0)
        return kMessageRejected;
    const QStringView portField = QStringView(payload).mid(first + 1, second - first - 1);
    replyPort = toInt32(readNumber(portField)).value_or(kNoReplyPort);
    payload.remove(0, second + 1);
    return kMessageAccepted;
}
