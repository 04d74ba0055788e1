#include "replyrecord.h"

#include "textcodec.h"

std::optional<QByteArray> buildReplyRecord(const QString &name, const QString &ip, qint32 port)
{
    const QString fields = name + QChar(u'\0') + ip + QChar(u'\0') + QString::number(port) + QChar(u'\0');
    QByteArray record = encodeForWire(fields);
    record.append('\0');
    if (record.size() > kReplyRecordSize)
        return std::nullopt;
    return record;
}

QString readCopyData(const QByteArray &data)
{
    QByteArray buffer(kReplyRecordSize, '\0');
    const qsizetype copied = qMin(data.size(), kReplyRecordSize);
    std::copy_n(data.constData(), copied, buffer.data());
    const QString text = decodeFromWire(buffer);
    const qsizetype lastNul = text.lastIndexOf(QChar(u'\0'));
    return lastNul < 0 ? QString() : text.left(lastNul);
}
