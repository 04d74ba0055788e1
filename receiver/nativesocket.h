#pragma once

#include <QString>
#include <QtGlobal>

class QHostAddress;

// The few system calls Quillbox reads connections with. A QTcpSocket per
// connection costs more than accepting and reading it: the listeners take
// each accepted descriptor as it is and read it with these, waiting on a
// QSocketNotifier only when the sender has not finished yet.
namespace nativesocket {

// The peer's address as shown to the user: dotted decimal for IPv4 peers,
// also when they reach a dual-stack listener as ::ffff:a.b.c.d.
QString peerIpText(const QHostAddress &address);

enum class AcceptOutcome
{
    Taken, // a connection, in descriptor and peerIp
    NoneWaiting,
    Skipped,   // one that went away before it was taken; try the next
    OutOfRoom, // no descriptors or memory left: try again later
};

// Accepts one waiting connection of a listening descriptor, non-blocking,
// not inherited by child processes, and reset when closed (SO_LINGER on with
// no time) until closeCleanly(): should the program die before the message is
// kept, the system resets the connection instead of closing it cleanly,
// which the sender would take for delivery. peerIp is set as peerIpText() would;
// lastPeer keeps the previous connection's address so that a sender's next
// connection reuses its text.
struct PeerCache
{
    int family = 0;
    unsigned char bytes[16] = {};
    quint32 scope = 0;
    QString text;
};
AcceptOutcome acceptConnection(qintptr listening, qintptr &descriptor, QString &peerIp, PeerCache &lastPeer);

enum class ReadOutcome
{
    Data,       // bytes were read (possibly fewer than asked)
    WouldBlock, // nothing more for now
    Ended,      // the sender closed
    Failed,     // reset or another error
};
// Reads what has arrived, up to room bytes (at least one); got holds how many.
ReadOutcome receive(qintptr descriptor, char *buffer, qint64 room, qint64 &got);

// Like receive(), but leaves the bytes to be read again.
ReadOutcome peek(qintptr descriptor, char *buffer, qint64 room, qint64 &got);
// A second descriptor for the same connection, not inherited by child
// processes (-1 when the system gives none). The connection ends only when
// both are closed, so an object that closes its own descriptor cannot end it.
qintptr duplicate(qintptr descriptor);

// Closes; an accepted connection is reset.
void closeDescriptor(qintptr descriptor);
// Closes cleanly: the sender's confirmation.
void closeCleanly(qintptr descriptor);

} // namespace nativesocket
