#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <functional>
#include <utility>

class QObject;
class QSocketNotifier;
class QSslConfiguration;
class QSslSocket;

// What the listener keeps per sender address while it has connections held.
struct PeerConnections
{
    int reading = 0;
    int waiting = 0;
    // The hand-on pass in which an earlier connection of the address was
    // still held, so its later ones wait too.
    quint64 heldInPass = 0;
};

// Read buffers of a payload's worth, kept for the next connections of a
// port: a read goes into memory that is mapped already (fresh pages cost a
// fault each), and a payload is handed on in the buffer it was read into,
// never shrunk or copied.
class ReadBuffers
{
public:
    // A payload's worth and a byte beyond, which tells that a sender wrote
    // too much.
    static constexpr qsizetype kReadLimit = 65536 + 1;
    // Kept at most; the others are freed.
    static constexpr int kKept = 8;

    // An empty buffer with room for kReadLimit bytes.
    QByteArray take();
    // Keeps buffer for a later take() unless another holds it too or enough
    // are kept.
    void giveBack(QByteArray &&buffer);

private:
    QList<QByteArray> m_spare;
};

// Reads one accepted connection: everything the sender writes until it
// closes, at most one payload's worth, within a time limit. Whatever ended
// the read (the sender closing, the time limit, an error), the reader is then
// done and holds what arrived, possibly nothing; a sender that writes more
// than a payload's worth is refused: nothing is kept. The connection stays
// open for its owner to take (takeDescriptor()); one left with the reader is
// reset when the reader goes. The time limit is checked by finishIfOverdue(),
// which the owner calls now and then: one timer serves all the readers of a
// port.
//
// A connection that opens with a TLS handshake is served encrypted (given a
// configuration for it): the handshake and the reading of the payload go on
// in a QSslSocket on a second descriptor of the connection, within the same
// time limit; the read is done once the sender's close alert came, and the
// payload is what came before it. One that ends in any other way, or whose
// sender showed no certificate, is refused. The connection itself stays with
// the reader as a plain one does, to be held until its message is stored.
class ConnectionReader
{
public:
    // Takes ownership of the descriptor. Peer is what the owner keeps for the
    // sender's address, for as long as the reader exists.
    ConnectionReader(qintptr descriptor, const QString &peerIp, quint16 localPort, QDeadlineTimer deadline,
                     PeerConnections *peer, const QSslConfiguration *tls = nullptr);
    ~ConnectionReader();
    ConnectionReader(const ConnectionReader &) = delete;
    ConnectionReader &operator=(const ConnectionReader &) = delete;

    const QString &peerIp() const { return m_peerIp; }
    quint16 localPort() const { return m_localPort; }
    PeerConnections *peer() const { return m_peer; }
    bool isDone() const { return m_done; }
    // When its time is up.
    const QDeadlineTimer &deadline() const { return m_deadline; }
    // Done because the sender wrote more than a payload's worth, or an
    // encrypted connection did not end cleanly.
    bool isRefused() const { return m_refused; }
    // The key of the sender of an encrypted connection (empty for a plain one).
    const QByteArray &peerKey() const { return m_peerKey; }

    // Reads what has arrived into a buffer of buffers (given back while
    // nothing has arrived); true when the read is done.
    bool read(ReadBuffers &buffers);
    // Calls ready (with context alive) whenever more may be read, until the
    // read is done.
    void watch(QObject *context, const std::function<void()> &ready);
    // Ends the read when its time is up; true when it is done.
    bool finishIfOverdue();
    // What arrived, once done, in the buffer it was read into.
    QByteArray takePayload() { return std::move(m_payload); }
    // The connection, once done; the caller closes it.
    qintptr takeDescriptor() { return std::exchange(m_descriptor, -1); }

private:
    // Tells a TLS handshake from a plain payload by its first bytes; false
    // while too few have come.
    bool sniff();
    void startTls();
    bool readTls();
    void tlsError();
    void refuse();
    void finish();

    qintptr m_descriptor;
    QString m_peerIp;
    quint16 m_localPort;
    QDeadlineTimer m_deadline;
    PeerConnections *m_peer;
    QByteArray m_payload;
    QSocketNotifier *m_notifier = nullptr;
    std::function<void()> m_ready;
    const QSslConfiguration *m_tlsConfiguration;
    QSslSocket *m_tls = nullptr;
    QByteArray m_peerKey;
    qint64 m_sniffed = 0;
    bool m_kindKnown = false;
    bool m_tlsEnded = false;
    bool m_tlsFailed = false;
    bool m_done = false;
    bool m_refused = false;
};
