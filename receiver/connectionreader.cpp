#include "connectionreader.h"

#include "wireformat.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>

QString peerIpText(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4)
        return QHostAddress(ipv4).toString();
    return address.toString();
}

bool AcceptedSocket::adopt(qintptr socketDescriptor)
{
    if (!setSocketDescriptor(socketDescriptor))
        return false;
    m_peerIp = peerIpText(peerAddress());
    m_localPort = localPort();
    return true;
}

ConnectionReader::ConnectionReader(AcceptedSocket *socket, QDeadlineTimer deadline, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_deadline(deadline)
    , m_peerIp(socket->acceptedPeerIp())
    , m_localPort(socket->acceptedLocalPort())
{
    m_socket->setParent(this);
    // Qt would otherwise buffer whatever a peer sends; a payload never
    // needs more than this.
    m_socket->setReadBufferSize(kMaxPayloadBytes);

    connect(m_socket, &QTcpSocket::readyRead, this, &ConnectionReader::readAvailable);
    connect(m_socket, &QTcpSocket::disconnected, this, &ConnectionReader::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ConnectionReader::finish);
}

bool ConnectionReader::needsCatchUp() const
{
    return m_socket->bytesAvailable() > 0 || m_socket->state() != QAbstractSocket::ConnectedState;
}

void ConnectionReader::catchUp()
{
    if (m_done)
        return;
    if (m_socket->bytesAvailable() > 0)
        readAvailable();
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        finish();
}

ConnectionReader::~ConnectionReader() = default;

bool ConnectionReader::drain()
{
    // Straight into the payload, without a buffer of its own per read. The
    // payload has room for the largest one while it is read and gives back
    // what it did not use when the read ends.
    const qsizetype start = m_payload.size();
    const qsizetype room = kMaxPayloadBytes - start;
    if (room > 0) {
        // Exactly this much: a growing array would round up to twice that,
        // past what the allocator serves from its heap.
        m_payload.reserve(kMaxPayloadBytes);
        m_payload.resize(kMaxPayloadBytes);
        const qint64 got = m_socket->read(m_payload.data() + start, room);
        m_payload.truncate(start + static_cast<qsizetype>(std::max<qint64>(got, 0)));
    }
    return m_payload.size() >= kMaxPayloadBytes;
}

void ConnectionReader::readAvailable()
{
    if (!m_done && drain())
        finish();
}

void ConnectionReader::finishIfOverdue()
{
    if (!m_done && m_deadline.hasExpired())
        finish();
}

void ConnectionReader::finish()
{
    if (m_done)
        return;
    drain();
    m_done = true;
    m_socket->disconnect(this);
    // Nothing is ever written back, so there is nothing to flush: let go of
    // the connection at once.
    m_socket->abort();
    m_payload.squeeze();
    emit finished(this, m_payload);
}
