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

namespace {

// The fields of a payload decoded as a whole (in text, which keeps only the
// message text on acceptance).
qint16 parseDecoded(QString &text, QString &senderName, qint32 &replyPort)
{
    const qsizetype first = text.indexOf(QChar(u'\0'));
    if (first < 0) {
        senderName.clear();
        replyPort = kNoReplyPort;
        return kMessageAccepted;
    }
    senderName = text.left(first);
    const qsizetype second = text.indexOf(QChar(u'\0'), first + 1);
    if (second < 0)
        return kMessageRejected;
    const QStringView portField = QStringView(text).mid(first + 1, second - first - 1);
    replyPort = toInt32(readNumber(portField)).value_or(kNoReplyPort);
    text.remove(0, second + 1);
    return kMessageAccepted;
}

} // namespace

qint16 parsePayload(QByteArrayView bytes, QString &senderName, qint32 &replyPort, QString &text, bool utf8)
{
    // A payload that fills the limit may have been cut off there.
    const bool cutOff = bytes.size() >= kMaxPayloadBytes;
    bytes = bytes.first(qMin(bytes.size(), kMaxPayloadBytes));
    if (bytes.isEmpty())
        return kMessageRejected;
    if (!isAscii(bytes)) {
        // Which code page holds the text depends on all of its bytes (an
        // encrypted one is UTF-8). The text then keeps no room for the
        // fields before it: what a message holds is counted by its
        // characters.
        text = utf8 ? QString::fromUtf8(bytes) : decodeFromWire(bytes, cutOff);
        const qint16 result = parseDecoded(text, senderName, replyPort);
        text.squeeze();
        return result;
    }
    // Almost every payload: each field is converted straight from its bytes,
    // the text once, with no copy afterwards.
    const qsizetype first = bytes.indexOf('\0');
    if (first < 0) {
        senderName.clear();
        replyPort = kNoReplyPort;
        text = QString::fromLatin1(bytes);
        return kMessageAccepted;
    }
    senderName = QString::fromLatin1(bytes.first(first));
    const qsizetype second = bytes.indexOf('\0', first + 1);
    if (second < 0)
        return kMessageRejected;
    replyPort = toInt32(readNumber(QString::fromLatin1(bytes.sliced(first + 1, second - first - 1))))
                    .value_or(kNoReplyPort);
    text = QString::fromLatin1(bytes.sliced(second + 1));
    return kMessageAccepted;
}
