#pragma once

#include "admission.h"
#include "logging.h"
#include "message.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

class Listener;
class MessageHistory;

// The state of one configured port after the listeners were (re)started.
struct PortState
{
    qint32 configured = 0;
    quint16 listening = 0; // the port listened on, 0 when it failed
    QString error;         // the description after "Winsock Error: ", when it failed
};

// Quillbox's network side, on a thread of its own: one listener per port,
// their readers, and the turning of each payload into a Message. The
// user-interface thread gets whole messages through messagesArrived() (a
// queued connection keeps their order), so no modal dialog, slow layout or
// busy window ever delays accepting and reading.
class ReceiverNetwork : public QObject
{
    Q_OBJECT
public:
    ReceiverNetwork(const QHostAddress &address, Admission &admission, QObject *parent = nullptr);
    ~ReceiverNetwork() override;

    // On the network thread (through QMetaObject::invokeMethod):
    // Listens on exactly these ports. A listener on a port that is still
    // wanted stays as it is, so the senders the kernel holds for it are not
    // reset; the others stop listening but still read and hand on what they
    // let in. Each port once (0 asks the system for a port; each 0 is a port
    // of its own).
    QList<PortState> applyPorts(const QList<qint32> &ports);
    void setDataTimeout(int milliseconds);
    // Every message is recorded here as it is read, before the user-interface
    // thread sees it (record() is safe from any thread), and its connection
    // is closed cleanly only once the history has stored it. Null: none. Set
    // before the object moves to its thread; the history must outlive it.
    void setHistory(MessageHistory *history);
    // Encrypted connections are served with this configuration (none: they
    // are refused), and senders are checked against the keys of the book.
    void setTls(const std::optional<QSslConfiguration> &configuration);
    void setKeyBook(const KeyBook &book) { m_keyBook = book; }
    // The queue may have room again.
    void updateAccepting();
    // Stops listening; what was read to its end is recorded and stored
    // (waiting at most the history's flush time) and then confirmed, the
    // connections still being read are reset.
    void shutdown();

signals:
    // The messages read together, in arrival order: one hand-over (and one
    // wake-up of the user-interface thread) for all of them.
    void messagesArrived(const QList<Message> &messages);

private:
    void payloadReceived(Listener *listener, const QByteArray &payload, const QString &peerIp,
                         quint16 localPort, const QByteArray &peerKey);
    void release(qint64 storedThrough);
    void handOver();
    int countHeld();
    void connectionsChanged();

    QHostAddress m_address;
    Admission &m_admission;
    int m_dataTimeoutMs;
    MessageHistory *m_history = nullptr;
    // The id of the latest message recorded.
    qint64 m_lastRecorded = 0;
    // The listeners of the ports listened on, in the order of the list.
    QList<Listener *> m_listeners;
    // Those and the retiring ones.
    QList<Listener *> m_all;
    // Read and not handed over yet.
    QList<Message> m_outgoing;
    RateLimitedLog m_refusedLog;
    std::optional<QSslConfiguration> m_tls;
    KeyBook m_keyBook;
};
