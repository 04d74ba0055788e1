#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTcpSocket>

class QHostAddress;

// The peer's address as shown to the user: dotted decimal for IPv4 peers,
// also when they reach a dual-stack listener as ::ffff:a.b.c.d.
QString peerIpText(const QHostAddress &address);

// A connection as the server accepted it. The peer's address and the local
// port are taken at the accept: a connection may wait in the server until a
// reader is free, and a sender that has closed by then has no address any
// more.
class AcceptedSocket : public QTcpSocket
{
public:
    using QTcpSocket::QTcpSocket;

    // Takes over an accepted descriptor; false when it cannot be used.
    bool adopt(qintptr socketDescriptor);
    const QString &acceptedPeerIp() const { return m_peerIp; }
    quint16 acceptedLocalPort() const { return m_localPort; }

private:
    QString m_peerIp;
    quint16 m_localPort = 0;
};

// Reads one accepted connection: everything the sender writes until it
// closes, at most one payload's worth, within a time limit. Whatever ended
// the read (the sender closing, the size limit, the time limit, an error),
// finished() hands over what arrived, possibly nothing. The time limit is
// checked by finishIfOverdue(), which the owner calls now and then: one
// timer serves all the readers of a port.
class ConnectionReader : public QObject
{
    Q_OBJECT
public:
    // Takes ownership of socket.
    ConnectionReader(AcceptedSocket *socket, QDeadlineTimer deadline, QObject *parent = nullptr);
    ~ConnectionReader() override;

    const QString &peerIp() const { return m_peerIp; }
    quint16 localPort() const { return m_localPort; }
    // Ends the read when its time is up.
    void finishIfOverdue();
    // Whether data, or the end of the stream, came in while the connection
    // waited for this reader; no signal announces those again, so the owner
    // then calls catchUp() once control is back in the event loop.
    bool needsCatchUp() const;
    void catchUp();

signals:
    void finished(ConnectionReader *reader, const QByteArray &payload);

private:
    // Takes what has arrived, up to the limit; true when the limit is reached.
    bool drain();
    void readAvailable();
    void finish();

    AcceptedSocket *m_socket;
    QDeadlineTimer m_deadline;
    QByteArray m_payload;
    QString m_peerIp;
    quint16 m_localPort = 0;
    bool m_done = false;
};
