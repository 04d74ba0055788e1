#include "replyrecordreceiver.h"

#include "localendpoint.h"

ReplyRecordReceiver::ReplyRecordReceiver(QObject *parent)
    : QObject(parent)
{}

ReplyRecordReceiver::~ReplyRecordReceiver()
{
    unhook();
}

void ReplyRecordReceiver::hook(LocalEndpoint *endpoint)
{
    unhook();
    if (!endpoint)
        return;
    m_endpoint = endpoint;
    // A direct connection: the endpoint answers its client only after this
    // returns, so the sending program waits until the record is handled.
    m_hook = connect(endpoint, &LocalEndpoint::copyDataReceived, this, &ReplyRecordReceiver::onCopyData,
                     Qt::DirectConnection);
}

void ReplyRecordReceiver::unhook()
{
    if (m_hook)
        disconnect(m_hook);
    m_hook = {};
    m_endpoint = nullptr;
}

bool ReplyRecordReceiver::isHooked() const
{
    return static_cast<bool>(m_hook) && !m_endpoint.isNull();
}

void ReplyRecordReceiver::onCopyData(quint32 dwData, const QByteArray &data)
{
    // The kind is not looked at: whatever arrives is checked field by field.
    Q_UNUSED(dwData)
    emit replyRecordReceived(data);
}
