#include "replyrecordsender.h"

#include "localendpoint.h"
#include "replyrecord.h"
#include "textcodec.h"

#include <algorithm>

qint16 sendCopyData(const QString &caption, const QString &text, int timeoutMs)
{
    if (text.isEmpty())
        return kCopyDataEmpty;
    // Counted in bytes: a name that needs more than one byte a character
    // takes more room than it has characters. The counted zero must fit too.
    const QByteArray bytes = encodeForWire(text);
    if (bytes.size() + 1 > kReplyRecordSize)
        return kCopyDataFailed;
    QByteArray buffer(kReplyRecordSize, '\0');
    std::copy(bytes.cbegin(), bytes.cend(), buffer.begin());
    const qsizetype cbData = bytes.size() + 1;

    switch (sendCopyDataRequest(caption, kReplyRecordKind, buffer.left(cbData), timeoutMs)) {
    case EndpointReply::Answered:
        return kCopyDataDelivered;
    case EndpointReply::NoEndpoint:
        return kCopyDataNoWindow;
    case EndpointReply::Failed:
        break;
    }
    return kCopyDataFailed;
}
