#include "connectionreader.h"

#include "wireformat.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>

namespace {
constexpr const char *kPeerIpProperty = "quillPeerIp";
constexpr const char *kLocalPortProperty = "quillLocalPort";
} // namespace

QString PeerIpText(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4)
        return QHostAddress(ipv4).toString();
    return address.toString();
}

// A connection may wait in the server until a reader is free, and a sender
// that has already closed by then has no peer address any more; so both
// facts are taken when the connection is accepted.
void RememberConnectionFacts(QTcpSocket *socket)
{
    socket->setProperty(kPeerIpProperty, PeerIpText(socket->peerAddress()));
    socket->setProperty(kLocalPortProperty, socket->localPort());
}

QString AcceptedPeerIp(const QTcpSocket *socket)
{
    const QVariant remembered = socket->property(kPeerIpProperty);
    return remembered.isValid() ? remembered.toString() : PeerIpText(socket->peerAddress());
}

quint16 AcceptedLocalPort(const QTcpSocket *socket)
{
    const QVariant remembered = socket->property(kLocalPortProperty);
    return remembered.isValid() ? static_cast<quint16>(remembered.toUInt()) : socket->localPort();
}

ConnectionReader::ConnectionReader(QTcpSocket *socket, int dataTimeoutMs, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_peerIp(AcceptedPeerIp(socket))
    , m_localPort(AcceptedLocalPort(socket))
{
    m_socket->setParent(this);
    // Qt would otherwise buffer whatever a peer sends; a payload never
    // needs more than this.
    m_socket->setReadBufferSize(kMaxPayloadBytes);

    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &ConnectionReader::finish);
    connect(m_socket, &QTcpSocket::readyRead, this, &ConnectionReader::readAvailable);
    connect(m_socket, &QTcpSocket::disconnected, this, &ConnectionReader::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ConnectionReader::finish);
    m_deadline.start(dataTimeoutMs);

    // Data (or the end of the stream) may have come in with the accept.
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &ConnectionReader::readAvailable, Qt::QueuedConnection);
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        QMetaObject::invokeMethod(this, &ConnectionReader::finish, Qt::QueuedConnection);
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

void ConnectionReader::finish()
{
    if (m_done)
        return;
    drain();
    m_done = true;
    m_deadline.stop();
    m_socket->disconnect(this);
    // Nothing is ever written back, so there is nothing to flush: let go of
    // the connection at once.
    m_socket->abort();
    m_payload.squeeze();
    emit finished(this, m_payload);
}
