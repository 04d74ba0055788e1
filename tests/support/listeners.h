#pragma once
// Recipients for the sending tests, on 127.0.0.1 ports of their own: one
// that reads and closes (what it got is noted once the sender has closed),
// one that resets after reading, one that answers with a byte and keeps the
// connection open, one that never takes its connections, one whose backlog
// is full (a connection to it neither completes nor fails), and a port where
// nobody listens.

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

struct Listeners : QObject
{
    QTcpServer alice;
    QTcpServer reset;
    QTcpServer chatty;
    QTcpServer silent;
    QTcpSocket nobody; // holds its port without listening on it
    quint16 fullPort = 0;
    QByteArrayList received;
    std::vector<int> held;

    ~Listeners() override
    {
        for (const int fd : held)
            ::close(fd);
    }

    bool listen()
    {
        if (!alice.listen(QHostAddress::LocalHost, 0) || !reset.listen(QHostAddress::LocalHost, 0) ||
            !chatty.listen(QHostAddress::LocalHost, 0) || !silent.listen(QHostAddress::LocalHost, 0) ||
            !nobody.bind(QHostAddress::LocalHost, 0))
            return false;
        connect(&alice, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = alice.nextPendingConnection();
            connect(socket, &QTcpSocket::disconnected, this,
                    [this, socket] { received << socket->readAll(); });
        });
        connect(&reset, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = reset.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                const linger abortive{1, 0};
                setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                           sizeof abortive);
                socket->abort();
            });
        });
        connect(&chatty, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = chatty.nextPendingConnection();
            // Held open under a descriptor of its own, whatever the socket object does at the end of the
            // data.
            connect(
                socket, &QTcpSocket::readyRead, this,
                [this, socket] {
                    held.push_back(::dup(static_cast<int>(socket->socketDescriptor())));
                    ::send(held.back(), "?", 1, MSG_NOSIGNAL);
                },
                Qt::SingleShotConnection);
        });
        silent.pauseAccepting();
        return listenFull();
    }

    // A backlog of 0 holds one connection that nobody accepts; the system
    // drops the handshakes of any further one, so its connect hangs.
    bool listenFull()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        socklen_t size = sizeof address;
        auto *any = reinterpret_cast<sockaddr *>(&address);
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        held.push_back(server);
        if (server < 0 || ::bind(server, any, size) != 0 || ::listen(server, 0) != 0 ||
            ::getsockname(server, any, &size) != 0)
            return false;
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        held.push_back(filler);
        fullPort = ntohs(address.sin_port);
        return filler >= 0 && ::connect(filler, any, size) == 0;
    }
};
