#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <unordered_map>

#include "admission.h"
#include "connectionreader.h"
#include "logging.h"
#include "nativesocket.h"

class QSocketNotifier;
class QSslConfiguration;

// The description shown after "Winsock Error: " when a port cannot be
// listened on. Ports below 1024 need a privilege that desktop users lack,
// so for those the text also says how to grant it to this program.
QString listenErrorDescription(QAbstractSocket::SocketError error, const QString &errorString, qint32 port,
                               const QString &programPath);

// One listening port. Every accepted connection is read on its own, so a
// sender that is slow, silent or still being read never turns another
// sender away. Finished reads are handed on as one message each, in the
// order their connections arrived; only an earlier connection from the same
// address that is still being read holds a message back, so one sender's
// messages keep their order and a silent peer delays nobody else.
//
// One address may have only a few connections read at once; its further
// connections wait, accepted, in arrival order, and only a few of them too:
// beyond that an address's new connections are reset at once. A host that
// keeps opening slow connections thus never takes every reader nor every
// place of the port, and other computers are read at once.
//
// A connection is closed cleanly, the sender's confirmation, only once its
// message is safe: when a messageReceived() slot asks to hold it
// (holdUntilStored()), once release() says the message is stored; else as
// soon as it is handed on. Until then the system resets it should the
// program die.
// Logs (lcNetwork, info) why a payload from peerIp on port went no further,
// as far as log lets it through under a flood.
void logRefusedPayload(RateLimitedLog &log, const QString &peerIp, quint16 port, const char *reason);

class Listener : public QObject
{
    Q_OBJECT
public:
    // Connections read at the same time on one port. Each may hold up to a
    // payload (64 KiB), so this bounds a port's memory to a few MiB.
    static constexpr int kMaxReadersPerPort = 64;
    // Of those, the ones one address may have: well below the port's bound,
    // so that other addresses always find a reader.
    static constexpr int kMaxReadersPerAddress = 8;
    // Connections of one address waiting for a reader. A sender writes its
    // messages one after another, so an address with this many waiting is
    // flooding: its further connections are reset on arrival, and the port's
    // other places stay for other addresses (8 readers and 32 waiting of 256).
    static constexpr int kMaxWaitingPerAddress = 32;
    // A sender between connecting and writing holds its address's later
    // connections back (they are handed on in order) for a moment: while the
    // earliest unfinished read is this young, further connections still wait
    // beyond the bound, and the sweep resets the excess once it is older.
    static constexpr int kFloodGraceMs = 200;
    // How long a sender may take from connecting to closing, waiting for a
    // reader included. A sender writes its one payload right after
    // connecting, so this is only reached by a peer that sends nothing or
    // never closes.
    static constexpr int kDataTimeoutMs = 5000;
    // Room for a burst of senders arriving at once while the readers are busy
    // (the kernel caps it at its somaxconn).
    static constexpr int kListenBacklog = 1024;
    // When accepting fails for want of resources (no descriptors left), the
    // server stops; it tries again after this pause rather than never.
    static constexpr int kAcceptRetryMs = 1000;

    Listener(const QHostAddress &address, qint32 port, QObject *parent = nullptr);
    ~Listener() override;

    // Listens on the port; on failure emits listenFailed() and stays closed.
    bool startListening();
    // Stops listening; hands on every read that has ended, resets the
    // connections still being read or waiting. Those held until their
    // message is stored stay until release() or the listener's end (which
    // resets them).
    void close();
    // Stops listening at once but lets every connection already let in (by
    // the kernel too) be read and handed on; the object then deletes itself.
    void retire();

    bool isListening() const { return m_server.isListening(); }
    qint32 configuredPort() const { return m_port; }
    // The port actually listened on (differs from the configured one for 0).
    quint16 serverPort() const { return m_server.serverPort(); }
    int activeReaders() const { return static_cast<int>(m_readers.size()); }
    int waitingConnections() const { return static_cast<int>(m_waiting.size()); }
    // Handed on and held until their message is stored.
    int storingConnections() const { return static_cast<int>(m_storing.size()); }
    // Accepted connections not closed yet.
    int heldConnections() const { return activeReaders() + waitingConnections() + storingConnections(); }

    // From a slot of messageReceived(): the message's connection is kept
    // open (reset should the program die) until release() covers id.
    void holdUntilStored(qint64 id) { m_holdFor = id; }
    // The messages up to id are stored (or will never be): their connections
    // are closed cleanly.
    void release(qint64 storedThrough);

    // Tests shorten the wait for a silent peer.
    void setDataTimeout(int milliseconds);
    // Asked before taking each new sender; while it says no (e.g. the
    // waiting messages with those still being read fill their bound), or
    // the port holds Admission::kMaxConnectionsPerPort, the port stops
    // accepting. Call updateAccepting() whenever its answer may
    // have changed.
    void setAdmission(std::function<bool()> admit) { m_admit = std::move(admit); }
    // Encrypted connections are served with this configuration, which must
    // outlive the listener; without one (null) they are refused.
    void setTlsConfiguration(const QSslConfiguration *configuration) { m_tls = configuration; }
    void updateAccepting();

signals:
    // peerKey: the key of an encrypted connection's sender, empty for a
    // plain one.
    void messageReceived(const QByteArray &payload, const QString &peerIp, quint16 localPort,
                         const QByteArray &peerKey);
    // The messages that finished together were all handed on.
    void messagesHandedOn();
    void listenFailed(const QString &description);
    // The number of held connections changed.
    void connectionsChanged();

private:
    struct Waiting
    {
        qintptr descriptor;
        QString peerIp;
        PeerConnections *peer;
        QDeadlineTimer deadline;
    };

    struct Storing
    {
        qint64 id;
        qintptr descriptor;
    };

    void acceptConnections();
    // Whether the address has its most connections waiting, after making
    // what room it can; handedOn is set when that handed messages on.
    bool waitingAtBound(const QString &peerIp, bool &handedOn);
    // Whether the address's waiting connections are held back by a read
    // that has not finished for longer than kFloodGraceMs (or by the port's
    // readers all being busy).
    bool heldBackForLong(const PeerConnections *peer) const;
    // Resets the waiting connections beyond their address's bound where it
    // is held back for long, newest first; true when it reset any.
    bool resetFloods();
    void setAcceptNotifier(bool enabled);
    // Starts readers for the connections that wait, each of which reads
    // what has arrived at once; true when one of them is done already.
    bool startWaiting(bool overdueToo);
    bool startWaitingAt(qsizetype index);
    void countAddress(PeerConnections *peer, const QString &peerIp, int readingChange, int waitingChange);
    bool admits() const;
    void readerReadable(ConnectionReader *reader);
    // Hands on what is done and emits, also for what the caller handed on
    // already (handedOn).
    void handOnFinished(bool handedOn = false);
    // Hands on what is done, as long as freed readers find more done;
    // true when something went on.
    bool handOnAll();
    bool handOnPass(bool inOrder = true);
    void handOn(ConnectionReader *reader);
    void finishOverdueReaders();

    QTcpServer m_server;
    // Watches the listening socket; the server only listens.
    QSocketNotifier *m_acceptNotifier = nullptr;
    // After running out of descriptors, accepting waits until then.
    QDeadlineTimer m_acceptPause;
    quint16 m_listeningPort = 0;
    nativesocket::PeerCache m_lastPeer;
    // The buffers the reads go into, kept for the next ones.
    ReadBuffers m_buffers;
    // Checks the time limits while there are connections.
    QTimer m_sweep;
    QHostAddress m_address;
    qint32 m_port;
    int m_dataTimeoutMs = kDataTimeoutMs;
    std::function<bool()> m_admit;
    const QSslConfiguration *m_tls = nullptr;
    // Connections being read, in the order they arrived, until their message
    // is handed on.
    QList<ConnectionReader *> m_readers;
    // Accepted connections waiting for a reader, in the order they arrived.
    QList<Waiting> m_waiting;
    // Handed on, until their message is stored, in the order of their ids.
    QList<Storing> m_storing;
    // What the slot of the message being handed on asked to hold it for.
    qint64 m_holdFor = 0;
    // Connections read and waiting per address (only addresses with some);
    // its entries stay where they are while others come and go.
    std::unordered_map<QString, PeerConnections> m_perAddress;
    // Addresses with a waiting connection that may start another reader.
    int m_addressesThatMayStart = 0;
    quint64 m_handOnPasses = 0;
    bool m_handingOn = false;
    bool m_retiring = false;
    RateLimitedLog m_refusedLog;
};
