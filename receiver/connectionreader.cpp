#include "connectionreader.h"

#include "nativesocket.h"
#include "wireformat.h"

#include <QObject>
#include <QSocketNotifier>

ConnectionReader::ConnectionReader(qintptr descriptor, const QString &peerIp, quint16 localPort,
                                   QDeadlineTimer deadline, PeerConnections *peer)
    : m_descriptor(descriptor)
    , m_peerIp(peerIp)
    , m_localPort(localPort)
    , m_deadline(deadline)
    , m_peer(peer)
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

void ConnectionReader::watch(QObject *context, const std::function<void()> &ready)
{
    if (m_done || m_notifier)
        return;
    m_notifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Read, context);
    QObject::connect(m_notifier, &QSocketNotifier::activated, context, ready);
}

bool ConnectionReader::finishIfOverdue()
{
    if (!m_done && m_deadline.hasExpired())
        finish();
    return m_done;
}

void ConnectionReader::finish()
{
    if (m_done)
        return;
    m_done = true;
    if (m_notifier) {
        // Its signal may be the one being handled.
        m_notifier->setEnabled(false);
        QObject::disconnect(m_notifier, nullptr, nullptr, nullptr);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
}
