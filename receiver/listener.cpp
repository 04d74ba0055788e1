#include "listener.h"

#include "connectionreader.h"

#include "wireformat.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

void BoundedServer::incomingConnection(qintptr socketDescriptor)
{
    auto *socket = new AcceptedSocket(this);
    socket->setReadBufferSize(kMaxPayloadBytes);
    if (!socket->adopt(socketDescriptor)) {
        delete socket;
        return;
    }
    addPendingConnection(socket);
}

Listener::Listener(const QHostAddress &address, qint32 port, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_port(port)
{
    // The server accepts one connection at a time and stops when one is left
    // pending, so each is counted before the next is accepted and the port's
    // bounds hold exactly.
    m_server.setMaxPendingConnections(1);
    m_server.setListenBacklogSize(kListenBacklog);
    connect(&m_server, &QTcpServer::newConnection, this, &Listener::takePendingConnections);
    connect(&m_server, &QTcpServer::acceptError, this,
            [this] { QTimer::singleShot(kAcceptRetryMs, this, &Listener::updateAccepting); });
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
    // hand on what they sent; then every overdue read ends. A reader that
    // finishes may take others off the list as their messages are handed on;
    // those are deleted only later, so the copy stays valid.
    startWaiting(true);
    const QList<ConnectionReader *> readers = m_readers;
    for (ConnectionReader *reader : readers)
        reader->finishIfOverdue();
    deleteSpentReaders();
    if (m_readers.isEmpty() && m_waiting.isEmpty())
        m_sweep.stop();
}

Listener::~Listener()
{
    close();
}

QString listenErrorDescription(QAbstractSocket::SocketError error, const QString &errorString, qint32 port,
                               const QString &programPath)
{
    constexpr qint32 kFirstUnprivilegedPort = 1024;
    if (error != QAbstractSocket::SocketAccessError || port >= kFirstUnprivilegedPort)
        return errorString;
    return errorString + QStringLiteral("\n\nPort %1 is below %2, and only programs granted the right to "
                                        "do so may listen there. Grant it once with:\n"
                                        "sudo setcap cap_net_bind_service=+ep \"%3\"\n"
                                        "or choose a port of %2 or above in Option, Program Option.")
                             .arg(port)
                             .arg(kFirstUnprivilegedPort)
                             .arg(programPath);
}

bool Listener::startListening()
{
    close();
    const bool portFits = m_port >= 0 && m_port <= 65535;
    if (portFits && m_server.listen(m_address, static_cast<quint16>(m_port))) {
        updateAccepting();
        return true;
    }
    const QString description = portFits
                                    ? listenErrorDescription(m_server.serverError(), m_server.errorString(),
                                                             m_port, QCoreApplication::applicationFilePath())
                                    : tr("Invalid port number %1").arg(m_port);
    m_server.close();
    emit listenFailed(description);
    return false;
}

void Listener::close()
{
    m_server.close();
    m_sweep.stop();
    const QList<ConnectionReader *> readers = std::exchange(m_readers, {});
    m_perAddress.clear();
    m_addressesThatMayStart = 0;
    m_finished.clear();
    qDeleteAll(readers);
    for (const Waiting &waiting : std::exchange(m_waiting, {}))
        delete waiting.socket;
}

void Listener::retire()
{
    // Senders the server has already let in are read like the others.
    m_retiring = true;
    if (m_server.isListening())
        takePendingConnections();
    m_server.close();
    if (heldConnections() == 0)
        deleteLater();
}

void Listener::updateAccepting()
{
    if (m_server.isListening())
        takePendingConnections();
}

bool Listener::admits() const
{
    return heldConnections() < kMaxConnectionsPerPort && (!m_admit || m_admit());
}

void Listener::takePendingConnections()
{
    // Each connection is taken only while there is room for it; one that
    // finds none stays pending in the server, which then accepts no more.
    bool taken = false;
    while (m_server.hasPendingConnections() && (m_retiring || admits())) {
        // Only accepted sockets are ever pending (see BoundedServer).
        auto *socket = static_cast<AcceptedSocket *>(m_server.nextPendingConnection());
        if (!socket)
            break;
        socket->setParent(this);
        m_waiting.append(Waiting{socket, socket->acceptedPeerIp(), QDeadlineTimer(m_dataTimeoutMs)});
        countAddress(m_waiting.constLast().address, 0, 1);
        startWaiting(false);
        taken = true;
    }
    if (taken)
        emit connectionsChanged();
    if ((!m_readers.isEmpty() || !m_waiting.isEmpty()) && !m_sweep.isActive())
        m_sweep.start();
    if (!m_server.isListening())
        return;
    // Taking a pending connection makes the server accept again, so the
    // pause is decided afresh every time.
    if (!m_server.hasPendingConnections() && admits())
        m_server.resumeAccepting();
    else
        m_server.pauseAccepting();
}

void Listener::startWaiting(bool overdueToo)
{
    // Overdue connections get a reader whatever the room, to hand on what
    // they sent. Deadlines follow arrival order, so they are the first ones
    // and no earlier connection of their address is left waiting.
    while (overdueToo && !m_waiting.isEmpty() && m_waiting.constFirst().deadline.hasExpired())
        startWaitingAt(0);
    // Then in arrival order, each while its port and its address may read
    // one more. An address that may not holds back its later connections
    // too (its room does not grow within a pass), so one sender's messages
    // keep their order. The pass ends as soon as no address may start one,
    // which is at once when every waiting connection is from a busy address.
    for (qsizetype i = 0;
         i < m_waiting.size() && m_addressesThatMayStart > 0 && m_readers.size() < kMaxReadersPerPort;) {
        if (m_perAddress.value(m_waiting.at(i).address).reading < kMaxReadersPerAddress)
            startWaitingAt(i);
        else
            ++i;
    }
}

void Listener::startWaitingAt(qsizetype index)
{
    const Waiting waiting = m_waiting.takeAt(index);
    countAddress(waiting.address, 1, -1);
    startReader(waiting.socket, waiting.deadline);
}

void Listener::countAddress(const QString &address, int readingChange, int waitingChange)
{
    const auto mayStart = [](const AddressCount &count) {
        return count.waiting > 0 && count.reading < kMaxReadersPerAddress;
    };
    auto count = m_perAddress.find(address);
    if (count == m_perAddress.end())
        count = m_perAddress.insert(address, AddressCount{});
    const bool before = mayStart(*count);
    count->reading += readingChange;
    count->waiting += waitingChange;
    m_addressesThatMayStart += int(mayStart(*count)) - int(before);
    if (count->reading == 0 && count->waiting == 0)
        m_perAddress.erase(count);
}

void Listener::startReader(AcceptedSocket *socket, QDeadlineTimer deadline)
{
    auto *reader = new ConnectionReader(socket, deadline, this);
    connect(reader, &ConnectionReader::finished, this, &Listener::readerFinished);
    m_readers.append(reader);
    // Not at once: a read that ends hands its message on, which must not
    // happen while connections are being taken. One call serves all the
    // readers started meanwhile.
    if (reader->needsCatchUp() && !std::exchange(m_catchUpScheduled, true))
        QMetaObject::invokeMethod(this, &Listener::catchUpReaders, Qt::QueuedConnection);
}

void Listener::catchUpReaders()
{
    m_catchUpScheduled = false;
    const QList<ConnectionReader *> readers = m_readers;
    for (ConnectionReader *reader : readers)
        reader->catchUp();
}

void Listener::readerFinished(ConnectionReader *reader, const QByteArray &payload)
{
    if (!m_readers.contains(reader))
        return;
    m_finished.insert(reader, payload);
    handOnFinished();
}

void Listener::discardReader(ConnectionReader *reader)
{
    // Its signal may still be on the stack, so it is deleted later, together
    // with others: a deferred deletion for every connection would cost an
    // extra turn of the event loop each.
    constexpr qsizetype kSpentBatch = 64;
    m_spent.append(reader);
    if (m_spent.size() >= kSpentBatch)
        deleteSpentReaders();
}

void Listener::deleteSpentReaders()
{
    if (m_spent.isEmpty())
        return;
    auto *batch = new QObject(this);
    for (ConnectionReader *reader : std::exchange(m_spent, {}))
        reader->setParent(batch);
    batch->deleteLater();
}

void Listener::handOnFinished()
{
    // One pass, front to back: a finished read goes on unless an earlier
    // read from the same address is still in the list (open, or finished
    // and held back itself).
    bool handedOn = false;
    for (qsizetype i = 0; i < m_readers.size() && !m_finished.isEmpty();) {
        ConnectionReader *reader = m_readers.at(i);
        const auto finished = m_finished.constFind(reader);
        const QString &peerIp = reader->peerIp();
        if (finished == m_finished.cend() ||
            std::any_of(m_readers.cbegin(), m_readers.cbegin() + i,
                        [&peerIp](const ConnectionReader *earlier) { return earlier->peerIp() == peerIp; })) {
            ++i;
            continue;
        }
        const QByteArray payload = *finished;
        const quint16 localPort = reader->localPort();
        m_finished.erase(finished);
        m_readers.removeAt(i);
        countAddress(peerIp, -1, 0);
        discardReader(reader);
        handedOn = true;
        // A sender that closed without writing anything brought no message.
        if (!payload.isEmpty())
            emit messageReceived(payload, peerIp, localPort);
    }
    // Readers freed make room for the connections that wait.
    startWaiting(false);
    if (m_retiring && heldConnections() == 0) {
        deleteLater();
        return;
    }
    updateAccepting();
    if (handedOn)
        emit connectionsChanged();
}
