#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <functional>

class QObject;
class QSocketNotifier;

// Reads one accepted connection: everything the sender writes until it
// closes, at most one payload's worth, within a time limit. Whatever ended
// the read (the sender closing, the size limit, the time limit, an error),
// the reader is then done and holds what arrived, possibly nothing; the
// connection is closed at once. The time limit is checked by
// finishIfOverdue(), which the owner calls now and then: one timer serves
// all the readers of a port.
class ConnectionReader
{
public:
    // Takes ownership of the descriptor. Address is a key the owner keeps
    // per sender address while the reader exists.
    ConnectionReader(qintptr descriptor, const QString &peerIp, quint16 localPort, QDeadlineTimer deadline,
                     void *address);
    ~ConnectionReader();
    ConnectionReader(const ConnectionReader &) = delete;
    ConnectionReader &operator=(const ConnectionReader &) = delete;

    const QString &peerIp() const { return m_peerIp; }
    quint16 localPort() const { return m_localPort; }
    void *address() const { return m_address; }
    bool isDone() const { return m_done; }

    // Reads what has arrived, in at most a payload's worth of scratch space
    // lent for the call (a read that ends within it needs no buffer of its
    // own); true when the read is done.
    bool read(QByteArray &scratch);
    // Calls ready (with context alive) whenever more may be read, until the
    // read is done.
    void watch(QObject *context, const std::function<void()> &ready);
    // Ends the read when its time is up; true when it is done.
    bool finishIfOverdue();
    // What arrived, once done.
    QByteArray takePayload() { return std::move(m_payload); }

private:
    void finish();

    qintptr m_descriptor;
    QString m_peerIp;
    quint16 m_localPort;
    QDeadlineTimer m_deadline;
    void *m_address;
    QByteArray m_payload;
    QSocketNotifier *m_notifier = nullptr;
    bool m_done = false;
};
