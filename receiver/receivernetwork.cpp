#include "receivernetwork.h"

#include "listener.h"
#include "messagehistory.h"

#include <QHash>

ReceiverNetwork::ReceiverNetwork(const QHostAddress &address, Admission &admission, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_admission(admission)
    , m_dataTimeoutMs(Listener::kDataTimeoutMs)
{}

ReceiverNetwork::~ReceiverNetwork()
{
    shutdown();
    if (m_history)
        m_history->setSettledHandler({});
}

void ReceiverNetwork::setHistory(MessageHistory *history)
{
    if (m_history)
        m_history->setSettledHandler({});
    m_history = history;
    // Straight from the writer's thread to this one: confirming a message
    // never waits for the user-interface thread. What the writer took from
    // its queue by then is room for more senders too: ports paused for the
    // history may accept again, also without a detour through that thread.
    if (m_history) {
        m_history->setSettledHandler([this](qint64 settledThrough) {
            QMetaObject::invokeMethod(
                this,
                [this, settledThrough] {
                    release(settledThrough);
                    updateAccepting();
                },
                Qt::QueuedConnection);
        });
    }
}

QList<PortState> ReceiverNetwork::applyPorts(const QList<qint32> &ports)
{
    QList<qint32> wanted;
    for (const qint32 port : ports) {
        if (port == 0 || !wanted.contains(port))
            wanted.append(port);
    }
    QHash<qint32, Listener *> kept;
    for (Listener *listener : std::exchange(m_listeners, {})) {
        const qint32 port = listener->configuredPort();
        if (port != 0 && listener->isListening() && wanted.contains(port) && !kept.contains(port))
            kept.insert(port, listener);
        else
            listener->retire();
    }
    QList<PortState> states;
    for (const qint32 port : std::as_const(wanted)) {
        Listener *listener = kept.value(port);
        QString error;
        if (!listener) {
            listener = new Listener(m_address, port, this);
            // Retiring listeners still hold connections until they delete
            // themselves.
            m_all.append(listener);
            connect(listener, &QObject::destroyed, this, [this, listener] { m_all.removeOne(listener); });
            listener->setDataTimeout(m_dataTimeoutMs);
            listener->setAdmission([this] { return m_admission.admits(countHeld()); });
            listener->setTlsConfiguration(m_tls ? &*m_tls : nullptr);
            connect(listener, &Listener::messageReceived, this,
                    [this, listener](const QByteArray &payload, const QString &peerIp, quint16 localPort,
                                     const QByteArray &peerKey) {
                        payloadReceived(listener, payload, peerIp, localPort, peerKey);
                    });
            connect(listener, &Listener::messagesHandedOn, this, &ReceiverNetwork::handOver);
            connect(listener, &Listener::connectionsChanged, this, &ReceiverNetwork::connectionsChanged);
            connect(listener, &Listener::listenFailed, this, [&error](const QString &text) { error = text; });
            listener->startListening();
            disconnect(listener, &Listener::listenFailed, this, nullptr);
        }
        m_listeners.append(listener);
        states.append(PortState{port, listener->isListening() ? listener->serverPort() : quint16(0), error});
    }
    countHeld();
    return states;
}

void ReceiverNetwork::setDataTimeout(int milliseconds)
{
    m_dataTimeoutMs = milliseconds;
    for (Listener *listener : std::as_const(m_listeners))
        listener->setDataTimeout(milliseconds);
}

void ReceiverNetwork::setTls(const std::optional<QSslConfiguration> &configuration)
{
    m_tls = configuration;
    for (Listener *listener : std::as_const(m_all))
        listener->setTlsConfiguration(m_tls ? &*m_tls : nullptr);
}

void ReceiverNetwork::updateAccepting()
{
    countHeld();
    for (Listener *listener : std::as_const(m_listeners))
        listener->updateAccepting();
}

void ReceiverNetwork::connectionsChanged()
{
    const int before = m_admission.held();
    // Fewer held: ports paused for want of room may accept again.
    if (countHeld() < before) {
        for (Listener *listener : std::as_const(m_listeners))
            listener->updateAccepting();
    }
}

void ReceiverNetwork::shutdown()
{
    // Retiring listeners too.
    for (Listener *listener : std::as_const(m_all))
        listener->close();
    handOver();
    // Each sender whose message was read is confirmed once it is stored;
    // what is not stored by then is reset with its listener.
    if (m_history && m_lastRecorded > 0)
        release(m_history->waitSettled(m_lastRecorded, MessageHistory::kFlushTimeoutMs));
    m_listeners.clear();
    qDeleteAll(std::exchange(m_all, {}));
    countHeld();
}

void ReceiverNetwork::release(qint64 storedThrough)
{
    // A listener may delete itself later, never within the call.
    for (Listener *listener : std::as_const(m_all))
        listener->release(storedThrough);
}

int ReceiverNetwork::countHeld()
{
    // Retiring listeners still hand messages on. Those handed on already
    // are recorded and wait only to be confirmed.
    int held = 0;
    for (const Listener *listener : std::as_const(m_all))
        held += listener->heldConnections() - listener->storingConnections();
    m_admission.setHeld(held);
    return held;
}

void ReceiverNetwork::payloadReceived(Listener *listener, const QByteArray &payload, const QString &peerIp,
                                      quint16 localPort, const QByteArray &peerKey)
{
    // Decoded and parsed here, off the user-interface thread; a payload the
    // format rejects goes no further (and is closed at once, as one the
    // history does not keep).
    std::optional<Message> message = messageFromPayload(payload, peerIp, localPort, peerKey);
    if (!message) {
        logRefusedPayload(m_refusedLog, peerIp, localPort, "the format rejects it");
        return;
    }
    message->trust = senderTrust(m_keyBook, message->name, peerKey);
    if (m_history)
        message->historyId = m_history->record(*message, MessageFate::Shown);
    if (message->historyId > 0) {
        m_lastRecorded = message->historyId;
        listener->holdUntilStored(message->historyId);
    }
    m_admission.handedOver();
    m_outgoing.append(std::move(*message));
}

void ReceiverNetwork::handOver()
{
    if (!m_outgoing.isEmpty())
        emit messagesArrived(std::exchange(m_outgoing, {}));
}
