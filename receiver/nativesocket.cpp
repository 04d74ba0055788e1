#include "nativesocket.h"

#include <QHostAddress>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace nativesocket {

QString peerIpText(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4)
        return QHostAddress(ipv4).toString();
    return address.toString();
}

namespace {

// The text of a peer address, from the cache when the address is the one
// seen last (a sender's connections usually come one after another).
QString peerText(const sockaddr_storage &peer, PeerCache &cache)
{
    const void *bytes = nullptr;
    size_t size = 0;
    quint32 scope = 0;
    if (peer.ss_family == AF_INET) {
        bytes = &reinterpret_cast<const sockaddr_in &>(peer).sin_addr;
        size = sizeof(in_addr);
    } else if (peer.ss_family == AF_INET6) {
        const auto &ipv6 = reinterpret_cast<const sockaddr_in6 &>(peer);
        bytes = &ipv6.sin6_addr;
        size = sizeof(in6_addr);
        scope = ipv6.sin6_scope_id;
    }
    if (bytes && cache.family == peer.ss_family && cache.scope == scope &&
        std::memcmp(cache.bytes, bytes, size) == 0)
        return cache.text;
    cache.text = peerIpText(QHostAddress(reinterpret_cast<const sockaddr *>(&peer)));
    cache.family = bytes ? peer.ss_family : 0;
    cache.scope = scope;
    if (bytes)
        std::memcpy(cache.bytes, bytes, size);
    return cache.text;
}

#ifdef Q_OS_WIN
int lastError()
{
    return WSAGetLastError();
}
constexpr int kWouldBlock = WSAEWOULDBLOCK;
constexpr int kInterrupted = WSAEINTR;
#else
int lastError()
{
    return errno;
}
constexpr int kWouldBlock = EWOULDBLOCK;
constexpr int kInterrupted = EINTR;
#endif

bool wouldBlock(int error)
{
#ifndef Q_OS_WIN
    if (error == EAGAIN)
        return true;
#endif
    return error == kWouldBlock;
}

// Errors that concern only the connection being accepted.
bool concernsOneConnection(int error)
{
#ifdef Q_OS_WIN
    return error == WSAECONNRESET || error == WSAEINTR;
#else
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
#ifdef Q_OS_LINUX
    // Linux passes on network errors already pending on the new connection.
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
#endif
        return true;
    default:
        return false;
    }
#endif
}

void setLinger(qintptr descriptor, bool resetting)
{
    linger option{};
    option.l_onoff = resetting ? 1 : 0;
    option.l_linger = 0;
#ifdef Q_OS_WIN
    ::setsockopt(SOCKET(descriptor), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&option),
                 sizeof option);
#else
    ::setsockopt(int(descriptor), SOL_SOCKET, SO_LINGER, &option, sizeof option);
#endif
}

} // namespace

AcceptOutcome acceptConnection(qintptr listening, qintptr &descriptor, QString &peerIp, PeerCache &lastPeer)
{
    sockaddr_storage peer{};
#ifdef Q_OS_WIN
    int size = sizeof(peer);
    const SOCKET accepted = ::accept(SOCKET(listening), reinterpret_cast<sockaddr *>(&peer), &size);
    const bool failed = accepted == INVALID_SOCKET;
    if (!failed) {
        u_long nonBlocking = 1;
        ::ioctlsocket(accepted, FIONBIO, &nonBlocking);
    }
#else
    socklen_t size = sizeof(peer);
#ifdef Q_OS_LINUX
    const int accepted =
        ::accept4(int(listening), reinterpret_cast<sockaddr *>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
#else
    const int accepted = ::accept(int(listening), reinterpret_cast<sockaddr *>(&peer), &size);
    if (accepted >= 0) {
        ::fcntl(accepted, F_SETFD, FD_CLOEXEC);
        ::fcntl(accepted, F_SETFL, ::fcntl(accepted, F_GETFL) | O_NONBLOCK);
    }
#endif
    const bool failed = accepted < 0;
#endif
    if (failed) {
        const int error = lastError();
        if (wouldBlock(error))
            return AcceptOutcome::NoneWaiting;
        return concernsOneConnection(error) ? AcceptOutcome::Skipped : AcceptOutcome::OutOfRoom;
    }
    descriptor = qintptr(accepted);
    setLinger(descriptor, true);
    peerIp = peerText(peer, lastPeer);
    return AcceptOutcome::Taken;
}

namespace {

ReadOutcome receiveWith(qintptr descriptor, char *buffer, qint64 room, qint64 &got, int flags)
{
    got = 0;
    for (;;) {
#ifdef Q_OS_WIN
        const int read = ::recv(SOCKET(descriptor), buffer, int(qMin<qint64>(room, 1 << 30)), flags);
#else
        const ssize_t read = ::recv(int(descriptor), buffer, size_t(room), flags);
#endif
        if (read > 0) {
            got = read;
            return ReadOutcome::Data;
        }
        if (read == 0)
            return ReadOutcome::Ended;
        const int error = lastError();
        if (error == kInterrupted)
            continue;
        return wouldBlock(error) ? ReadOutcome::WouldBlock : ReadOutcome::Failed;
    }
}

} // namespace

ReadOutcome receive(qintptr descriptor, char *buffer, qint64 room, qint64 &got)
{
    return receiveWith(descriptor, buffer, room, got, 0);
}

ReadOutcome peek(qintptr descriptor, char *buffer, qint64 room, qint64 &got)
{
    return receiveWith(descriptor, buffer, room, got, MSG_PEEK);
}

qintptr duplicate(qintptr descriptor)
{
#ifdef Q_OS_WIN
    Q_UNUSED(descriptor);
    return -1;
#else
    return ::fcntl(int(descriptor), F_DUPFD_CLOEXEC, 0);
#endif
}

void closeCleanly(qintptr descriptor)
{
    setLinger(descriptor, false);
    closeDescriptor(descriptor);
}

void closeDescriptor(qintptr descriptor)
{
#ifdef Q_OS_WIN
    ::closesocket(SOCKET(descriptor));
#else
    ::close(int(descriptor));
#endif
}

} // namespace nativesocket
