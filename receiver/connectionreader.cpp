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

namespace {

// A byte beyond a payload's worth tells that the sender wrote too much.
constexpr qsizetype kReadLimit = kMaxPayloadBytes + 1;

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

bool ConnectionReader::read(QByteArray &scratch)
{
    if (m_done)
        return true;
    bool ended = false;
    if (m_payload.isEmpty()) {
        // A sender that wrote and closed before it was accepted is read
        // whole into the scratch space, and the payload gets exactly its
        // size.
        scratch.resize(kReadLimit);
        qsizetype size = 0;
        ended = readInto(m_descriptor, scratch.data(), size);
        if (size > 0) {
            if (!ended && size < kReadLimit)
                m_payload.reserve(kReadLimit);
            m_payload.append(scratch.constData(), size);
        }
    } else {
        // One still sending reads straight into its payload, which has room
        // for the largest until the read ends.
        qsizetype size = m_payload.size();
        m_payload.resize(kReadLimit);
        ended = readInto(m_descriptor, m_payload.data(), size);
        m_payload.truncate(size);
    }
    // More than a payload is refused whole: a message cut short would be
    // shown and kept while its sender, reset, counts it as failed.
    if (m_payload.size() > kMaxPayloadBytes) {
        m_refused = true;
        m_payload = QByteArray();
        finish();
    } else if (ended) {
        finish();
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
    m_payload.squeeze();
    if (m_notifier) {
        // Its signal may be the one being handled.
        m_notifier->setEnabled(false);
        QObject::disconnect(m_notifier, nullptr, nullptr, nullptr);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
}
