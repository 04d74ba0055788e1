#include "listener.h"

#include "connectionreader.h"

#include "wireformat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

Listener::Listener(const QHostAddress &address, qint32 port, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_port(port)
{
    m_server.setListenBacklogSize(kListenBacklog);
    connect(&m_sweep, &QTimer::timeout, this, &Listener::finishOverdueReaders);
    setDataTimeout(kDataTimeoutMs);
}

void Listener::setDataTimeout(int milliseconds)
{
    // Connections are checked a few times within their time limit, so a
    // silent peer is let go at most a fifth of the limit late.
    constexpr int kChecksPerTimeout = 5;
    constexpr int kFewestMs = 10;
    constexpr int kMostMs = 1000;
    m_dataTimeoutMs = milliseconds;
    m_sweep.setInterval(std::clamp(milliseconds / kChecksPerTimeout, kFewestMs, kMostMs));
}

void Listener::finishOverdueReaders()
{
    // Waiting connections whose time is up get a reader all the same, to
    // hand on what they sent; then every overdue read ends.
    startWaiting(true);
    for (ConnectionReader *reader : std::as_const(m_readers)) {
        if (!reader->isDone() && reader->finishIfOverdue())
            logRefusedPayload(m_refusedLog, reader->peerIp(), m_listeningPort,
                              "the data time-out ended its read; what came is handed on");
    }
    if (resetFloods())
        emit connectionsChanged();
    handOnFinished();
    if (m_readers.isEmpty() && m_waiting.isEmpty())
        m_sweep.stop();
}

Listener::~Listener()
{
    close();
    // Their messages were not stored: the senders must not take them for
    // delivered.
    for (const Storing &storing : std::as_const(m_storing))
        nativesocket::closeDescriptor(storing.descriptor);
}

void logRefusedPayload(RateLimitedLog &log, const QString &peerIp, quint16 port, const char *reason)
{
    if (!lcNetwork().isInfoEnabled() || !log.allow(QDateTime::currentMSecsSinceEpoch()))
        return;
    qCInfo(lcNetwork).nospace() << "Refused a payload from " << qUtf8Printable(peerIp) << " on port " << port
                                << ": " << reason << " (" << log.suppressed()
                                << " refusals held back from the log so far)";
}

QString listenErrorDescription(QAbstractSocket::SocketError error, const QString &errorString, qint32 port,
                               const QString &programPath)
{
    constexpr qint32 kFirstUnprivilegedPort = 1024;
    if (error != QAbstractSocket::SocketAccessError || port >= kFirstUnprivilegedPort)
        return errorString;
    return errorString +
           QCoreApplication::translate("Listener",
                                       "\n\nPort %1 is below %2, and only programs granted the right to "
                                       "do so may listen there. Grant it once with:\n"
                                       "sudo setcap cap_net_bind_service=+ep \"%3\"\n"
                                       "or choose a port of %2 or above in Option, Program Option.")
               .arg(QString::number(port), QString::number(kFirstUnprivilegedPort), programPath);
}

bool Listener::startListening()
{
    close();
    const bool portFits = m_port >= 0 && m_port <= 65535;
    if (portFits && m_server.listen(m_address, static_cast<quint16>(m_port))) {
        // The server only listens; connections are accepted here, each only
        // while there is room for it, so the port's bounds hold exactly.
        m_server.pauseAccepting();
        m_listeningPort = m_server.serverPort();
        m_acceptNotifier = new QSocketNotifier(m_server.socketDescriptor(), QSocketNotifier::Read, this);
        connect(m_acceptNotifier, &QSocketNotifier::activated, this, &Listener::acceptConnections);
        updateAccepting();
        return true;
    }
    const QString description = portFits
                                    ? listenErrorDescription(m_server.serverError(), m_server.errorString(),
                                                             m_port, QCoreApplication::applicationFilePath())
                                    : tr("Invalid port number %1").arg(m_port);
    m_server.close();
    qCInfo(lcNetwork).nospace() << "Cannot listen on port " << m_port << ": " << qUtf8Printable(description);
    emit listenFailed(description);
    return false;
}

void Listener::close()
{
    delete std::exchange(m_acceptNotifier, nullptr);
    m_server.close();
    m_sweep.stop();
    // Reads that ended are handed on, also those behind an unfinished read
    // of their address: their senders have finished and wait for the close;
    // so are the waiting connections whose sender has finished, read one at
    // a time. The others are reset, so that no sender takes them for
    // delivered.
    bool handedOn = handOnPass(false);
    while (!m_waiting.isEmpty()) {
        startWaitingAt(0);
        handedOn = handOnPass(false) || handedOn;
    }
    if (handedOn)
        emit messagesHandedOn();
    const QList<ConnectionReader *> readers = std::exchange(m_readers, {});
    m_perAddress.clear();
    m_addressesThatMayStart = 0;
    qDeleteAll(readers);
}

void Listener::retire()
{
    // Senders the kernel has already let in are read like the others.
    m_retiring = true;
    if (m_acceptNotifier)
        acceptConnections();
    delete std::exchange(m_acceptNotifier, nullptr);
    m_server.close();
    if (heldConnections() == 0)
        deleteLater();
}

void Listener::updateAccepting()
{
    // Only switches the watch on or off: connections are taken when control
    // is back in the event loop, never while messages are being handed on.
    setAcceptNotifier(admits());
}

void Listener::setAcceptNotifier(bool enabled)
{
    const bool accepting = enabled && m_acceptPause.hasExpired();
    if (m_acceptNotifier && m_acceptNotifier->isEnabled() != accepting)
        m_acceptNotifier->setEnabled(accepting);
}

bool Listener::admits() const
{
    return heldConnections() < Admission::kMaxConnectionsPerPort && (!m_admit || m_admit());
}

void Listener::acceptConnections()
{
    // Every sender that has come is taken while there is room (all of them
    // when retiring); the others stay with the kernel.
    bool taken = false;
    bool done = false;
    bool handedOn = false;
    while (m_retiring || admits()) {
        qintptr descriptor = -1;
        QString peerIp;
        const auto outcome =
            nativesocket::acceptConnection(m_server.socketDescriptor(), descriptor, peerIp, m_lastPeer);
        if (outcome == nativesocket::AcceptOutcome::Skipped)
            continue;
        if (outcome == nativesocket::AcceptOutcome::OutOfRoom) {
            // No descriptors left: try again later rather than spin.
            m_acceptPause = QDeadlineTimer(kAcceptRetryMs);
            QTimer::singleShot(kAcceptRetryMs, this, &Listener::updateAccepting);
        }
        if (outcome != nativesocket::AcceptOutcome::Taken)
            break;
        if (waitingAtBound(peerIp, handedOn)) {
            nativesocket::closeDescriptor(descriptor);
            continue;
        }
        m_waiting.append(Waiting{descriptor, peerIp, &m_perAddress[peerIp], QDeadlineTimer(m_dataTimeoutMs)});
        countAddress(m_waiting.constLast().peer, peerIp, 0, 1);
        done = startWaiting(false) || done;
        taken = true;
    }
    if (!m_readers.isEmpty() || !m_waiting.isEmpty()) {
        if (!m_sweep.isActive())
            m_sweep.start();
    }
    if (done || handedOn)
        handOnFinished(handedOn);
    if (taken)
        emit connectionsChanged();
    if (!m_retiring)
        updateAccepting();
}

bool Listener::waitingAtBound(const QString &peerIp, bool &handedOn)
{
    const auto known = m_perAddress.find(peerIp);
    if (known == m_perAddress.end() || known->second.waiting < kMaxWaitingPerAddress)
        return false;
    // Its readers may have finished since they were accepted (a sender
    // writes right after connecting), and reads that ended free readers for
    // its waiting connections: only the connections that stay unfinished
    // count.
    const PeerConnections *peer = &known->second;
    for (ConnectionReader *reader : std::as_const(m_readers)) {
        if (reader->peer() == peer)
            reader->read(m_buffers);
    }
    handedOn = handOnAll() || handedOn;
    const auto again = m_perAddress.find(peerIp);
    return again != m_perAddress.end() && again->second.waiting >= kMaxWaitingPerAddress &&
           heldBackForLong(&again->second);
}

bool Listener::heldBackForLong(const PeerConnections *peer) const
{
    // Readers are in arrival order: the first unfinished one holds back the
    // rest.
    for (const ConnectionReader *reader : std::as_const(m_readers)) {
        if (reader->peer() == peer && !reader->isDone())
            return reader->deadline().remainingTime() < m_dataTimeoutMs - kFloodGraceMs;
    }
    return true;
}

bool Listener::resetFloods()
{
    bool reset = false;
    for (qsizetype i = m_waiting.size() - 1; i >= 0; --i) {
        const Waiting &waiting = m_waiting.at(i);
        if (waiting.peer->waiting <= kMaxWaitingPerAddress || !heldBackForLong(waiting.peer))
            continue;
        nativesocket::closeDescriptor(waiting.descriptor);
        const Waiting gone = m_waiting.takeAt(i);
        logRefusedPayload(m_refusedLog, gone.peerIp, m_listeningPort,
                          "reset, its address has more connections waiting than one may");
        countAddress(gone.peer, gone.peerIp, 0, -1);
        reset = true;
    }
    return reset;
}

bool Listener::startWaiting(bool overdueToo)
{
    bool done = false;
    // Overdue connections get a reader whatever the room, to hand on what
    // they sent. Deadlines follow arrival order, so they are the first ones
    // and no earlier connection of their address is left waiting.
    while (overdueToo && !m_waiting.isEmpty() && m_waiting.constFirst().deadline.hasExpired())
        done = startWaitingAt(0) || done;
    // Then in arrival order, each while its port and its address may read
    // one more. An address that may not holds back its later connections
    // too (its room does not grow within a pass), so one sender's messages
    // keep their order. The pass ends as soon as no address may start one,
    // which is at once when every waiting connection is from a busy address.
    for (qsizetype i = 0;
         i < m_waiting.size() && m_addressesThatMayStart > 0 && m_readers.size() < kMaxReadersPerPort;) {
        if (m_waiting.at(i).peer->reading < kMaxReadersPerAddress)
            done = startWaitingAt(i) || done;
        else
            ++i;
    }
    return done;
}

bool Listener::startWaitingAt(qsizetype index)
{
    const Waiting waiting = m_waiting.takeAt(index);
    countAddress(waiting.peer, waiting.peerIp, 1, -1);
    auto *reader = new ConnectionReader(waiting.descriptor, waiting.peerIp, m_listeningPort, waiting.deadline,
                                        waiting.peer, m_tls);
    m_readers.append(reader);
    // Most senders have written and closed by now: the read ends here.
    if (reader->read(m_buffers) || reader->finishIfOverdue())
        return true;
    reader->watch(this, [this, reader] { readerReadable(reader); });
    return false;
}

void Listener::countAddress(PeerConnections *peer, const QString &peerIp, int readingChange,
                            int waitingChange)
{
    const auto mayStart = [](const PeerConnections &state) {
        return state.waiting > 0 && state.reading < kMaxReadersPerAddress;
    };
    const bool before = mayStart(*peer);
    peer->reading += readingChange;
    peer->waiting += waitingChange;
    m_addressesThatMayStart += int(mayStart(*peer)) - int(before);
    if (peer->reading == 0 && peer->waiting == 0)
        m_perAddress.erase(peerIp);
}

void Listener::readerReadable(ConnectionReader *reader)
{
    if (reader->read(m_buffers))
        handOnFinished();
}

void Listener::handOnFinished(bool handedOn)
{
    // A message handed on may lead its receiver to ask for more (room made,
    // say); the pass under way sees to that.
    if (m_handingOn)
        return;
    handedOn = handOnAll() || handedOn;
    if (handedOn) {
        emit messagesHandedOn();
        emit connectionsChanged();
    }
    if (m_retiring && heldConnections() == 0) {
        deleteLater();
        return;
    }
    updateAccepting();
}

bool Listener::handOnAll()
{
    if (m_handingOn)
        return false;
    m_handingOn = true;
    bool handedOn = false;
    // Readers freed make room for the connections that wait, and those that
    // are done at once go on in the same call.
    while (handOnPass()) {
        handedOn = true;
        if (!startWaiting(false))
            break;
    }
    m_handingOn = false;
    return handedOn;
}

bool Listener::handOnPass(bool inOrder)
{
    // One pass, front to back: a finished read goes on unless an earlier
    // read from the same address is still in the list (open, or finished
    // and held back itself).
    const quint64 pass = ++m_handOnPasses;
    bool handedOn = false;
    for (qsizetype i = 0; i < m_readers.size();) {
        ConnectionReader *reader = m_readers.at(i);
        PeerConnections *peer = reader->peer();
        if (!reader->isDone() || (inOrder && peer->heldInPass == pass)) {
            peer->heldInPass = pass;
            ++i;
            continue;
        }
        m_readers.removeAt(i);
        handOn(reader);
        handedOn = true;
    }
    return handedOn;
}

void Listener::handOn(ConnectionReader *reader)
{
    QByteArray payload = reader->takePayload();
    const QByteArray peerKey = reader->peerKey();
    const QString peerIp = reader->peerIp();
    PeerConnections *peer = reader->peer();
    // A refused one is reset with its reader.
    const qintptr descriptor = reader->isRefused() ? -1 : reader->takeDescriptor();
    if (reader->isRefused())
        logRefusedPayload(m_refusedLog, peerIp, m_listeningPort,
                          "over 65536 bytes, or encrypted and not ended cleanly: reset");
    delete reader;
    countAddress(peer, peerIp, -1, 0);
    if (descriptor < 0)
        return;
    // A sender that closed without writing anything brought no message.
    m_holdFor = 0;
    if (!payload.isEmpty())
        emit messageReceived(payload, peerIp, m_listeningPort, peerKey);
    // Decoded by now: the buffer serves a later connection.
    m_buffers.giveBack(std::move(payload));
    if (const qint64 id = std::exchange(m_holdFor, 0); id > 0)
        m_storing.append(Storing{id, descriptor});
    else
        nativesocket::closeCleanly(descriptor);
}

void Listener::release(qint64 storedThrough)
{
    const qsizetype before = m_storing.size();
    m_storing.removeIf([storedThrough](const Storing &storing) {
        if (storing.id > storedThrough)
            return false;
        nativesocket::closeCleanly(storing.descriptor);
        return true;
    });
    if (m_storing.size() == before)
        return;
    emit connectionsChanged();
    if (m_retiring && heldConnections() == 0) {
        deleteLater();
        return;
    }
    updateAccepting();
}
