#include "messagesender.h"

#include "wireformat.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

// Port 0 cannot be connected to; the rest of the 16-bit range can.
constexpr qint32 kLowestPort = 1;
constexpr qint32 kHighestPort = 65535;

// The address as written in the user list, when it is a plain dotted IPv4
// address (QHostAddress also takes shorthand such as "10.1", which a user
// who typed it did not mean as an address).
bool parseIpv4(const QString &text, QHostAddress &address)
{
    if (text.count(u'.') != 3 || !address.setAddress(text))
        return false;
    return address.protocol() == QAbstractSocket::IPv4Protocol;
}

} // namespace

MessageSender::MessageSender(QObject *parent)
    : QObject(parent)
{}

MessageSender::~MessageSender()
{
    close();
}

bool MessageSender::start(const QString &ip, qint32 port, QString &description)
{
    close();
    if (ip.trimmed().isEmpty()) {
        description = QStringLiteral("No recipient is selected");
        return false;
    }
    QHostAddress address;
    if (!parseIpv4(ip.trimmed(), address)) {
        description =
            QStringLiteral("The address \"") + ip + QStringLiteral("\" is not a valid IPv4 address");
        return false;
    }
    if (port < kLowestPort || port > kHighestPort) {
        description = QStringLiteral("The port ") + QString::number(port) +
                      QStringLiteral(" is not a valid port (1 to 65535)");
        return false;
    }

    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::connected, this, &MessageSender::onConnected);
    connect(socket, &QTcpSocket::bytesWritten, this, &MessageSender::onBytesWritten);
    connect(socket, &QTcpSocket::errorOccurred, this, &MessageSender::onError);
    m_state = State::Connecting;
    m_bytesToWrite = 0;
    socket->connectToHost(address, static_cast<quint16>(port));
    return true;
}

void MessageSender::send(const QByteArray &payload)
{
    if (m_state != State::Sending || !m_socket)
        return;
    // The receiver takes no more than this as one message; anything longer
    // would arrive cut off without anyone noticing.
    if (payload.size() > kMaxPayloadBytes) {
        fail(QStringLiteral("The message is too long to send (at most ") + QString::number(kMaxPayloadBytes) +
             QStringLiteral(" bytes)"));
        return;
    }
    if (payload.isEmpty()) {
        m_state = State::Delivered;
        emit sent();
        return;
    }
    m_bytesToWrite = payload.size();
    if (m_socket->write(payload) != payload.size())
        fail(m_socket->errorString());
}

void MessageSender::close()
{
    m_state = State::Idle;
    m_bytesToWrite = 0;
    if (QTcpSocket *socket = m_socket) {
        m_socket = nullptr;
        // Late events of this attempt must not reach the window.
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void MessageSender::onConnected()
{
    if (sender() != m_socket || m_state != State::Connecting)
        return;
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_state = State::Sending;
    emit connected();
}

void MessageSender::onBytesWritten(qint64 bytes)
{
    if (sender() != m_socket || m_state != State::Sending)
        return;
    m_bytesToWrite -= bytes;
    if (m_bytesToWrite > 0)
        return;
    m_state = State::Delivered;
    emit sent();
}

void MessageSender::onError()
{
    if (sender() != m_socket)
        return;
    // Once every byte has been handed over, the recipient closing its end is
    // how a delivery normally ends, not a failure.
    if (m_state == State::Delivered || m_state == State::Idle)
        return;
    fail(m_socket->errorString());
}

void MessageSender::fail(const QString &description)
{
    close();
    emit failed(description);
}
