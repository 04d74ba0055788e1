#include "replyrecord.h"

#include "fieldchecks.h"
#include "logging.h"
#include "textcodec.h"

#include <QDateTime>

namespace {

// A record is refused with its reason, a flood of them in few lines.
std::optional<ReplyRecord> refused(const char *reason)
{
    static RateLimitedLog limit;
    if (limit.allow(QDateTime::currentMSecsSinceEpoch()))
        qCInfo(lcReply, "reply record refused: %s (%lld others held back so far)", reason,
               static_cast<long long>(limit.suppressed()));
    return std::nullopt;
}

} // namespace

std::optional<QByteArray> ReplyRecord::encode() const
{
    const QString fields =
        name + QChar(u'\0') + address + QChar(u'\0') + QString::number(port) + QChar(u'\0');
    QByteArray record = encodeForWire(fields);
    record.append('\0');
    if (record.size() > kReplyRecordSize)
        return std::nullopt;
    return record;
}

std::optional<ReplyRecord> ReplyRecord::decode(const QByteArray &data)
{
    return fromText(readCopyData(data));
}

std::optional<ReplyRecord> ReplyRecord::fromText(const QString &text)
{
    if (text.isEmpty())
        return refused("empty");
    const QChar nul(u'\0');
    const qsizetype first = text.indexOf(nul);
    if (first < 0)
        return refused("no NUL after the name");
    const qsizetype second = text.indexOf(nul, first + 1);
    if (second < 0)
        return refused("no NUL after the address");
    const qsizetype third = text.indexOf(nul, second + 1);
    if (third < 0)
        return refused("no NUL after the port");

    ReplyRecord record;
    record.name = text.left(first);
    if (!isValidAddress(text.mid(first + 1, second - first - 1), record.address))
        return refused("not an IPv4 or IPv6 address or host name");
    if (!isValidPort(text.mid(second + 1, third - second - 1), record.port))
        return refused("not a port from 0 to 65535");
    if (!record.name.isEmpty()) {
        QString trimmed;
        if (!isValidUserName(record.name, trimmed))
            return refused("not a user name (1 to 128 characters, no NUL)");
        record.name = trimmed;
    }
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
