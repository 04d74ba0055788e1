#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QHostAddress;
class QTcpSocket;

// The peer's address as shown to the user: dotted decimal for IPv4 peers,
// also when they reach a dual-stack listener as ::ffff:a.b.c.d.
QString PeerIpText(const QHostAddress &address);

// Called on accepting: keeps the peer's address and the local port with the
// socket, since they are gone once the peer has closed.
void RememberConnectionFacts(QTcpSocket *socket);
QString AcceptedPeerIp(const QTcpSocket *socket);
quint16 AcceptedLocalPort(const QTcpSocket *socket);

// Reads one accepted connection: everything the sender writes until it
// closes, at most one payload's worth, within a time limit. Whatever ended
// the read (the sender closing, the size limit, the time limit, an error),
// finished() hands over what arrived, possibly nothing.
class ConnectionReader : public QObject
{
    Q_OBJECT
public:
    // Takes ownership of socket.
    ConnectionReader(QTcpSocket *socket, int dataTimeoutMs, QObject *parent = nullptr);
    ~ConnectionReader() override;

    QString peerIp() const { return m_peerIp; }
    quint16 localPort() const { return m_localPort; }

signals:
    void finished(ConnectionReader *reader, const QByteArray &payload);

private:
    // Takes what has arrived, up to the limit; true when the limit is reached.
    bool drain();
    void readAvailable();
    void finish();

    QTcpSocket *m_socket;
    QTimer m_deadline;
    QByteArray m_payload;
    QString m_peerIp;
    quint16 m_localPort = 0;
    bool m_done = false;
};
