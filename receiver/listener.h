#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <functional>

class ConnectionReader;

// The description shown after "Winsock Error: " when a port cannot be
// listened on. Ports below 1024 need a privilege that desktop users lack,
// so for those the text also says how to grant it to this program.
QString listenErrorDescription(QAbstractSocket::SocketError error, const QString &errorString, qint32 port,
                               const QString &programPath);

// A server whose accepted connections buffer no more than a payload while
// they wait for a reader.
class BoundedServer : public QTcpServer
{
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr socketDescriptor) override;
};

// One listening port. Every accepted connection is read on its own, so a
// sender that is slow, silent or still being read never turns another
// sender away. Finished reads are handed on as one message each, in the
// order their connections arrived; only an earlier connection from the same
// address that is still being read holds a message back, so one sender's
// messages keep their order and a silent peer delays nobody else.
class Listener : public QObject
{
    Q_OBJECT
public:
    // Connections read at the same time on one port. Each may hold up to a
    // payload (64 KiB), so this bounds a port's memory to a few MiB; beyond
    // it the port stops accepting and the kernel holds (or refuses) further
    // senders until a read finishes.
    static constexpr int kMaxReadersPerPort = 64;
    // How long a sender may take from connecting to closing. A sender writes
    // its one payload right after connecting, so this is only reached by a
    // peer that sends nothing or never closes.
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
    // Stops listening and drops the connections being read.
    void close();
    // Stops listening at once but lets the connections already accepted be
    // read and handed on; the object then deletes itself.
    void retire();

    bool isListening() const { return m_server.isListening(); }
    qint32 configuredPort() const { return m_port; }
    // The port actually listened on (differs from the configured one for 0).
    quint16 serverPort() const { return m_server.serverPort(); }
    int activeReaders() const { return static_cast<int>(m_readers.size()); }

    // Tests shorten the wait for a silent peer.
    void setDataTimeout(int milliseconds);
    // Asked before taking new senders; while it says no (e.g. the waiting
    // messages fill their bound) the port stops accepting. Call
    // updateAccepting() whenever its answer may have changed.
    void setAdmission(std::function<bool()> admit) { m_admit = std::move(admit); }
    void updateAccepting();

signals:
    void messageReceived(const QByteArray &payload, const QString &peerIp, quint16 localPort);
    void listenFailed(const QString &description);

private:
    void takePendingConnections();
    void readerFinished(ConnectionReader *reader, const QByteArray &payload);
    void handOnFinished();
    void finishOverdueReaders();
    void catchUpReaders();
    void discardReader(ConnectionReader *reader);
    void deleteSpentReaders();

    BoundedServer m_server;
    // Checks the readers' time limits while there are readers.
    QTimer m_sweep;
    QHostAddress m_address;
    qint32 m_port;
    int m_dataTimeoutMs = kDataTimeoutMs;
    std::function<bool()> m_admit;
    // Connections in the order they arrived, until their message is handed on.
    QList<ConnectionReader *> m_readers;
    QHash<ConnectionReader *, QByteArray> m_finished;
    bool m_catchUpScheduled = false;
    // Finished readers not deleted yet; the sweep (or a full batch) deletes
    // them.
    QList<ConnectionReader *> m_spent;
    bool m_retiring = false;
};
