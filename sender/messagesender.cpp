#include "messagesender.h"

#include "fieldchecks.h"
#include "identity.h"
#include "securetransport.h"
#include "wireformat.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QSslSocket>
#include <QTcpSocket>
#include <optional>

#include <cerrno>
#include <cstring>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// Port 0 cannot be connected to; the rest of the 16-bit range can.
constexpr qint32 kLowestPort = 1;
constexpr qint32 kHighestPort = 65535;
// What a recipient writes back is read and dropped, this much per wake-up at
// most, so a talkative one cannot hold the event loop.
constexpr int kDiscardChunk = 4096;
constexpr int kDiscardChunksPerWake = 16;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

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

const QSslConfiguration *MessageSender::clientConfiguration()
{
    static const std::optional<QSslConfiguration> configuration = []() -> std::optional<QSslConfiguration> {
        const Identity identity = ownIdentityWithoutAsking();
        if (identity.state() != Identity::State::Ready)
            return std::nullopt;
        return tlsConfiguration(identity, false);
    }();
    return configuration ? &*configuration : nullptr;
}

MessageSender::MessageSender(QObject *parent)
    : QObject(parent)
{
    m_confirmTimer.setSingleShot(true);
    m_confirmTimer.setInterval(kConfirmWaitMs);
    connect(&m_confirmTimer, &QTimer::timeout, this, &MessageSender::onConfirmTimeout);
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &MessageSender::onConnectTimeout);
}

MessageSender::~MessageSender()
{
    close();
}

bool MessageSender::start(const QString &ip, qint32 port, QString &description)
{
    close();
    if (ip.trimmed().isEmpty()) {
        description = tr("No recipient is selected");
        return false;
    }
    QHostAddress address;
    const QString v6 = ipv6Text(ip);
    const bool byName = !parseIpv4(ip.trimmed(), address) && v6.isEmpty();
    if (!v6.isEmpty())
        address.setAddress(v6);
    if (byName && !isHostName(ip.trimmed())) {
        description = tr("The address \"%1\" is not a valid IPv4 or IPv6 address or host name").arg(ip);
        return false;
    }
    if (port < kLowestPort || port > kHighestPort) {
        description = tr("The port %1 is not a valid port (1 to 65535)").arg(port);
        return false;
    }

    m_encrypted = !m_expectedKey.isEmpty();
    m_keyMismatch = false;
    m_peerKey.clear();
    if (!m_encrypted && m_requireEncryption) {
        description = tr("not sent: the recipient has no key, and only encrypted sending is allowed");
        return false;
    }
    const QSslConfiguration *tls = m_encrypted ? clientConfiguration() : nullptr;
    if (m_encrypted && !tls) {
        description = tr("not sent: your own key cannot be read (see Identification)");
        return false;
    }

    QTcpSocket *socket = nullptr;
    if (tls) {
        auto *secure = new QSslSocket(this);
        secure->setSslConfiguration(*tls);
        connect(secure, &QSslSocket::encrypted, this, &MessageSender::onEncrypted);
        socket = secure;
    } else {
        socket = new QTcpSocket(this);
        connect(socket, &QTcpSocket::connected, this, &MessageSender::onConnected);
    }
    m_socket = socket;
    connect(socket, &QTcpSocket::bytesWritten, this, &MessageSender::onBytesWritten);
    connect(socket, &QTcpSocket::errorOccurred, this, &MessageSender::onError);
    m_state = State::Connecting;
    m_bytesToWrite = 0;
    // A name is looked up by the system's resolver, in the background; the
    // lookup gets a deadline even where the connection has none, and so does
    // a handshake, which a peer could leave hanging.
    if (m_connectWaitMs > 0 || byName || tls)
        m_connectTimer.start(m_connectWaitMs > 0 ? m_connectWaitMs : kLookupWaitMs);
    m_starting = true;
    if (auto *secure = qobject_cast<QSslSocket *>(socket))
        secure->connectToHostEncrypted(byName ? ip.trimmed() : address.toString(),
                                       static_cast<quint16>(port));
    else if (byName)
        socket->connectToHost(ip.trimmed(), static_cast<quint16>(port));
    else
        socket->connectToHost(address, static_cast<quint16>(port));
    m_starting = false;
    return true;
}

void MessageSender::send(const QByteArray &payload)
{
    if (m_state != State::Sending || !m_socket)
        return;
    // The receiver takes no more than this as one message; anything longer
    // would arrive cut off without anyone noticing.
    if (payload.size() > kMaxPayloadBytes) {
        fail(tr("The message is too long to send (at most %1 bytes)").arg(kMaxPayloadBytes));
        return;
    }
    if (payload.isEmpty()) {
        awaitConfirmation();
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
    m_confirmTimer.stop();
    m_connectTimer.stop();
    delete m_answer;
    m_answer = nullptr;
#ifdef Q_OS_UNIX
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
        m_descriptor = -1;
    }
#endif
    for (QTcpSocket *socket : {m_socket.data(), m_closing.data()}) {
        if (!socket)
            continue;
        // Late events of this attempt must not reach the window.
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    m_socket = nullptr;
    m_closing = nullptr;
}

void MessageSender::onConnected()
{
    if (sender() != m_socket || m_state != State::Connecting)
        return;
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_connectTimer.stop();
    m_state = State::Sending;
    emit connected();
}

void MessageSender::onEncrypted()
{
    if (sender() != m_socket || m_state != State::Connecting)
        return;
    m_connectTimer.stop();
    m_peerKey = certificateKey(static_cast<QSslSocket *>(m_socket.data())->peerCertificate());
    if (m_peerKey != m_expectedKey) {
        m_keyMismatch = true;
        fail(tr("not sent: the recipient showed another key (code %1) than the one expected (code %2)")
                 .arg(Identity::verificationCode(m_peerKey), Identity::verificationCode(m_expectedKey)));
        return;
    }
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
    awaitConfirmation();
}

void MessageSender::onError()
{
    if (sender() != m_socket)
        return;
    if (m_state == State::Idle)
        return;
    if (m_starting) {
        // Refused inside connectToHost(): the caller has not even learnt yet
        // that the attempt started.
        QMetaObject::invokeMethod(
            this,
            [this, socket = m_socket] {
                if (socket && socket == m_socket && m_state != State::Idle)
                    fail(socket->errorString());
            },
            Qt::QueuedConnection);
        return;
    }
    fail(m_socket->errorString());
}

void MessageSender::awaitConfirmation()
{
#ifdef Q_OS_UNIX
    // The socket object has no half-close of its own: the connection goes on
    // under a descriptor of this sender's until the recipient closes.
    const int descriptor = static_cast<int>(m_socket->socketDescriptor());
    m_descriptor = descriptor >= 0 ? ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0) : -1;
    if (m_descriptor < 0) {
        fail(systemError(errno));
        return;
    }
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    if (m_encrypted) {
        // TLS's close alert ends the payload: the object sends it and then
        // lets go of its own descriptor.
        m_closing = socket;
        socket->disconnectFromHost();
    } else {
        socket->abort();
        socket->deleteLater();
        if (::shutdown(m_descriptor, SHUT_WR) != 0) {
            fail(systemError(errno));
            return;
        }
    }
    m_state = State::Confirming;
    m_answer = new QSocketNotifier(static_cast<qintptr>(m_descriptor), QSocketNotifier::Read, this);
    connect(m_answer, &QSocketNotifier::activated, this, &MessageSender::onAnswerReadable);
    m_confirmTimer.start();
#else
    // The socket object offers no half-close: here the connection closes
    // once everything is written, and that counts as delivered.
    QTcpSocket *socket = m_socket;
    m_state = State::Confirming;
    connect(socket, &QTcpSocket::disconnected, this, [this] { finish(Outcome::Delivered, QString()); });
    socket->disconnectFromHost();
#endif
}

void MessageSender::onAnswerReadable()
{
#ifdef Q_OS_UNIX
    if (m_state != State::Confirming)
        return;
    char discard[kDiscardChunk];
    for (int i = 0; i < kDiscardChunksPerWake; ++i) {
        const ssize_t n = ::recv(m_descriptor, discard, sizeof discard, MSG_DONTWAIT);
        if (n == 0) {
            finish(Outcome::Delivered, QString());
            return;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                fail(systemError(errno));
            return;
        }
    }
#endif
}

void MessageSender::onConfirmTimeout()
{
    if (m_state != State::Confirming)
        return;
    finish(Outcome::NotConfirmed, tr("no answer from the recipient within %1 s")
                                      .arg(QString::number(m_confirmTimer.interval() / 1000.0)));
}

void MessageSender::onConnectTimeout()
{
    if (m_state != State::Connecting)
        return;
    const QString seconds = QString::number(m_connectTimer.interval() / 1000.0);
    if (m_encrypted && m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        fail(tr("no encrypted connection within %1 s: the recipient did not finish the handshake")
                 .arg(seconds));
    else
        fail(tr("no connection within %1 s").arg(seconds));
}

void MessageSender::finish(Outcome outcome, const QString &description)
{
    close();
    emit finished(outcome, description);
}
