#include "receivestring.h"

#include "localendpoint.h"
#include "replyrecord.h"

ReceiveString::ReceiveString(QObject *parent)
    : QObject(parent)
{}

ReceiveString::~ReceiveString()
{
    UnhookReplyIntake();
}

void ReceiveString::HookReplyIntake(LocalEndpoint *endpoint)
{
    UnhookReplyIntake();
    if (!endpoint)
        return;
    m_endpoint = endpoint;
    // A direct connection: the endpoint answers its client only after this
    // returns, so the sending program waits until the record is handled.
    m_hook = connect(endpoint, &LocalEndpoint::copyDataReceived, this, &ReceiveString::ReplyWindowProc,
                     Qt::DirectConnection);
}

void ReceiveString::UnhookReplyIntake()
{
    if (m_hook)
        disconnect(m_hook);
    m_hook = {};
    m_endpoint = nullptr;
}

bool ReceiveString::isHooked() const
{
    return static_cast<bool>(m_hook) && !m_endpoint.isNull();
}

void ReceiveString::ReplyWindowProc(quint32 dwData, const QByteArray &data)
{
    // The kind is not looked at: whatever arrives is checked field by field.
    Q_UNUSED(dwData)
    emit replyRecordReceived(ReadCopyData(data));
}
