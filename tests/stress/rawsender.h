#pragma once
// Blocking loopback senders for the stress tests, run from plain threads so
// that hundreds of them can hit the receiver while its event loop runs.

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

enum class SendResult
{
    Sent,
    Refused,
    Failed,
};

// Connects to 127.0.0.1:port, writes the bytes and closes. With reset, the
// close drops the connection with a reset instead of an orderly end.
// from is the loopback address the sender uses (127.0.0.2 stands for
// another computer).
inline SendResult RawSend(quint16 port, const QByteArray &bytes, bool reset = false,
                          quint32 from = INADDR_LOOPBACK)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return SendResult::Failed;
    if (from != INADDR_LOOPBACK) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(from);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            ::close(fd);
            return SendResult::Failed;
        }
    }
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return SendResult::Refused;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written),
                                 MSG_NOSIGNAL);
        if (n <= 0)
            break;
        written += n;
    }
    if (reset) {
        linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    ::close(fd);
    return written == bytes.size() ? SendResult::Sent : SendResult::Failed;
}

// Opens a connection and keeps it open without sending; -1 when refused.
inline int RawConnectSilently(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
