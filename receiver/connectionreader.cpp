#include "connectionreader.h"

#include "nativesocket.h"
#include "securetransport.h"
#include "wireformat.h"

#include <QObject>
#include <QSocketNotifier>
#include <QSslSocket>

ConnectionReader::ConnectionReader(qintptr descriptor, const QString &peerIp, quint16 localPort,
                                   QDeadlineTimer deadline, PeerConnections *peer,
                                   const QSslConfiguration *tls)
    : m_descriptor(descriptor)
    , m_peerIp(peerIp)
    , m_localPort(localPort)
    , m_deadline(deadline)
    , m_peer(peer)
    , m_tlsConfiguration(tls)
{}

ConnectionReader::~ConnectionReader()
{
    finish();
    if (m_descriptor >= 0)
        nativesocket::closeDescriptor(m_descriptor);
}

static_assert(ReadBuffers::kReadLimit == kMaxPayloadBytes + 1);

QByteArray ReadBuffers::take()
{
    if (!m_spare.isEmpty())
        return m_spare.takeLast();
    QByteArray buffer;
    buffer.reserve(kReadLimit);
    return buffer;
}

void ReadBuffers::giveBack(QByteArray &&buffer)
{
    if (m_spare.size() >= kKept || !buffer.isDetached() || buffer.capacity() < kReadLimit)
        return;
    buffer.truncate(0);
    m_spare.append(std::move(buffer));
}

namespace {

constexpr qsizetype kReadLimit = ReadBuffers::kReadLimit;

// Reads into buffer from size on until the sender has nothing more for now
// or the buffer (kReadLimit bytes) is full; true when the read has ended.
bool readInto(qintptr descriptor, char *buffer, qsizetype &size)
{
    while (size < kReadLimit) {
        qint64 got = 0;
        switch (nativesocket::receive(descriptor, buffer + size, kReadLimit - size, got)) {
        case nativesocket::ReadOutcome::Data:
            size += static_cast<qsizetype>(got);
            break;
        case nativesocket::ReadOutcome::WouldBlock:
            return false;
        case nativesocket::ReadOutcome::Ended:
        case nativesocket::ReadOutcome::Failed:
            return true;
        }
    }
    return false;
}

} // namespace

bool ConnectionReader::read(ReadBuffers &buffers)
{
    if (m_done)
        return true;
    if (!m_kindKnown && !sniff())
        return m_done;
    if (m_tls)
        return readTls();
    if (m_done)
        return true;
    if (m_payload.isNull())
        m_payload = buffers.take();
    qsizetype size = m_payload.size();
    m_payload.resize(kReadLimit);
    const bool ended = readInto(m_descriptor, m_payload.data(), size);
    m_payload.truncate(size);
    // More than a payload is refused whole: a message cut short would be
    // shown and kept while its sender, reset, counts it as failed.
    if (m_payload.size() > kMaxPayloadBytes) {
        m_refused = true;
        buffers.giveBack(std::exchange(m_payload, {}));
        finish();
    } else if (ended) {
        finish();
    } else if (m_payload.isEmpty()) {
        // A sender that has sent nothing yet holds no buffer while it waits.
        buffers.giveBack(std::exchange(m_payload, {}));
    }
    return m_done;
}

bool ConnectionReader::sniff()
{
    char bytes[kConnectionSniffBytes];
    qint64 got = 0;
    const auto outcome = nativesocket::peek(m_descriptor, bytes, sizeof bytes, got);
    if (outcome == nativesocket::ReadOutcome::WouldBlock)
        return false;
    ConnectionKind kind = outcome == nativesocket::ReadOutcome::Data
                              ? connectionKind(QByteArrayView(bytes, got))
                              : ConnectionKind::Plain;
    // A handshake's first bytes come together; a sender that stopped after
    // one or two of them is read as plain rather than waited for.
    if (kind == ConnectionKind::Undecided && got > m_sniffed) {
        m_sniffed = got;
        return false;
    }
    m_kindKnown = true;
    if (kind == ConnectionKind::Tls)
        startTls();
    return true;
}

void ConnectionReader::startTls()
{
    const qintptr second = m_tlsConfiguration ? nativesocket::duplicate(m_descriptor) : -1;
    if (second < 0) {
        refuse();
        return;
    }
    m_tls = new QSslSocket;
    m_tls->setSslConfiguration(*m_tlsConfiguration);
    if (!m_tls->setSocketDescriptor(second)) {
        nativesocket::closeDescriptor(second);
        refuse();
        return;
    }
    // The socket reads the connection from now on.
    if (m_notifier)
        m_notifier->setEnabled(false);
    const auto wake = [this] {
        if (m_ready)
            m_ready();
    };
    QObject::connect(m_tls, &QSslSocket::readyRead, m_tls, wake);
    QObject::connect(m_tls, &QSslSocket::encrypted, m_tls, wake);
    QObject::connect(m_tls, &QSslSocket::disconnected, m_tls, [this, wake] {
        tlsError();
        wake();
    });
    QObject::connect(m_tls, &QSslSocket::errorOccurred, m_tls, [this, wake] {
        tlsError();
        wake();
    });
    m_tls->startServerEncryption();
}

void ConnectionReader::tlsError()
{
    // The sender's close alert ends the payload. The socket reports it as
    // the remote end closing, as it does the connection closing without one
    // (which may be someone cutting the message short); only its own text,
    // from the same catalogue in any language, tells the two apart.
    // Anything else before it (a reset, a failed handshake) leaves the
    // message unfinished too.
    static const char *const kCloseAlertText = "The TLS/SSL connection has been closed";
    static const QString closeAlert = QSslSocket::tr(kCloseAlertText);
    if (m_tls->error() == QAbstractSocket::RemoteHostClosedError && m_tls->isEncrypted() &&
        m_tls->errorString() == closeAlert && !m_tlsEnded) {
        m_tlsEnded = true;
        return;
    }
    if (!m_tlsEnded)
        m_tlsFailed = true;
}

bool ConnectionReader::readTls()
{
    if (m_done)
        return true;
    if (m_tls->isEncrypted() && m_peerKey.isEmpty())
        m_peerKey = certificateKey(m_tls->peerCertificate());
    while (m_tls->bytesAvailable() > 0 && m_payload.size() <= kMaxPayloadBytes)
        m_payload.append(m_tls->read(kReadLimit - m_payload.size()));
    if (m_payload.size() > kMaxPayloadBytes || m_tlsFailed)
        refuse();
    else if (m_tlsEnded)
        m_peerKey.isEmpty() ? refuse() : finish();
    return m_done;
}

void ConnectionReader::refuse()
{
    m_refused = true;
    m_payload = QByteArray();
    finish();
}

void ConnectionReader::watch(QObject *context, const std::function<void()> &ready)
{
    m_ready = ready;
    if (m_done || m_notifier || m_tls)
        return;
    m_notifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Read, context);
    QObject::connect(m_notifier, &QSocketNotifier::activated, context, ready);
}

bool ConnectionReader::finishIfOverdue()
{
    // An encrypted payload without its end is not taken.
    if (!m_done && m_deadline.hasExpired())
        m_tls ? refuse() : finish();
    return m_done;
}

void ConnectionReader::finish()
{
    if (m_done)
        return;
    m_done = true;
    if (QSslSocket *tls = std::exchange(m_tls, nullptr)) {
        // Its signal may be the one being handled; its own descriptor goes
        // with it, the connection stays.
        QObject::disconnect(tls, nullptr, nullptr, nullptr);
        tls->abort();
        tls->deleteLater();
    }
    if (m_notifier) {
        // Its signal may be the one being handled.
        m_notifier->setEnabled(false);
        QObject::disconnect(m_notifier, nullptr, nullptr, nullptr);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
}
