#include "messageintake.h"

#include "desktopnotifier.h"
#include "identity.h"
#include "messagehistory.h"
#include "messagerouter.h"
#include "messagewindow.h"
#include "presenceannouncer.h"
#include "receiversettings.h"
#include "replyservice.h"
#include "windowactivation.h"

#include <QFileSystemWatcher>
#include <QThread>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// A received text (up to 128 KiB in UTF-16) is made on the network thread and
// freed on another once shown or stored. The C library would map the
// largest afresh each time (they reach its 128 KiB threshold for mapping) or
// hand freed memory back to the system at once, so that every message
// faulted its pages in anew (about 17 faults a 64 KiB text, a third of the
// network thread's time); it keeps them mapped up to these bounds instead.
void keepMessageMemoryMapped()
{
#ifdef __GLIBC__
    constexpr int kMapAbove = 4 * 1024 * 1024;
    constexpr int kKeepFreed = 32 * 1024 * 1024;
    static const bool tuned = mallopt(M_MMAP_THRESHOLD, kMapAbove) && mallopt(M_TRIM_THRESHOLD, kKeepFreed);
    Q_UNUSED(tuned);
#endif
}

} // namespace

MessageIntake::MessageIntake(ReceiverSettings &settings, const QHostAddress &listenAddress,
                             const QString &historyPath, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_router(new MessageRouter(this))
    , m_history(new MessageHistory(historyPath.isEmpty() ? MessageHistory::defaultPath() : historyPath, this))
    , m_replies(new ReplyService(this))
    , m_networkThread(new QThread(this))
    , m_network(new ReceiverNetwork(listenAddress, *m_admission))
{
    // The network side reads on a thread of its own and hands whole messages
    // over, in order, through the event loop.
    keepMessageMemoryMapped();
    qRegisterMetaType<Message>();
    m_networkThread->setObjectName(QStringLiteral("Quillbox network"));
    m_network->setHistory(m_history);
    m_history->setAdmission(m_admission);
    m_network->moveToThread(m_networkThread);
    connect(m_networkThread, &QThread::finished, m_network, &QObject::deleteLater);
    connect(m_network, &ReceiverNetwork::messagesArrived, this, &MessageIntake::messagesArrived,
            Qt::QueuedConnection);
    m_networkThread->start();

    connect(m_router, &MessageRouter::queueChanged, this, &MessageIntake::queueChanged);
    m_router->setWindowFactory(
        [this](int slot, const Message &first) { return openMessageWindow(slot, first); });
}

MessageIntake::~MessageIntake()
{
    stopNetwork();
    for (const QPointer<MessageWindow> &spare : std::exchange(m_spareWindows, {}))
        delete spare.data();
    // The windows report what was left unread to the history, which is
    // still there.
    m_router->closeAllWindows();
}

MessageWindow *MessageIntake::spareWindow() const
{
    return m_spareWindows.value(0);
}

void MessageIntake::stopNetwork()
{
    if (!m_networkThread->isRunning())
        return;
    QMetaObject::invokeMethod(m_network, &ReceiverNetwork::shutdown, Qt::BlockingQueuedConnection);
    m_networkThread->quit();
    m_networkThread->wait();
}

QList<PortState> MessageIntake::applyPorts(const QList<qint32> &ports)
{
    QList<PortState> states;
    QMetaObject::invokeMethod(
        m_network, [this, &ports, &states] { states = m_network->applyPorts(ports); },
        Qt::BlockingQueuedConnection);
    m_ports = states;
    updatePresence();
    return states;
}

QList<PortState> MessageIntake::listen()
{
    QList<qint32> ports;
    for (int n = 1; !m_shutDown && n <= m_settings.portList.count(); ++n)
        ports.append(m_settings.portList.at(n));
    return applyPorts(ports);
}

QList<quint16> MessageIntake::listeningPorts() const
{
    QList<quint16> ports;
    for (const PortState &state : m_ports)
        ports.append(state.listening);
    return ports;
}

void MessageIntake::shutdownNetwork()
{
    m_shutDown = true;
    QMetaObject::invokeMethod(m_network, &ReceiverNetwork::shutdown, Qt::BlockingQueuedConnection);
    m_ports.clear();
    updatePresence();
}

void MessageIntake::setDataTimeout(int milliseconds)
{
    QMetaObject::invokeMethod(
        m_network, [this, milliseconds] { m_network->setDataTimeout(milliseconds); },
        Qt::BlockingQueuedConnection);
}

void MessageIntake::applyHistoryOptions()
{
    const HistoryOptions &options = m_settings.history;
    m_history->setEnabled(options.keep);
    m_history->setLimits(options.maxMessages, qint64(options.maxMegabytes) * 1024 * 1024);
}

void MessageIntake::startNotifier()
{
    m_notifier = new DesktopNotifier(this);
    connect(m_notifier, &DesktopNotifier::openRequested, this,
            [this](const Message &sender, const QString &activationToken) {
                if (MessageWindow *window = windowOf(sender))
                    bringToFront(window, activationToken);
            });
    // A window kept back for a notification that never showed comes up.
    connect(m_notifier, &DesktopNotifier::notShown, this, [this](const Message &sender) {
        if (m_settings.messageAlert != MessageAlert::Notification)
            return; // none is kept back
        MessageWindow *window = windowOf(sender);
        if (window && window->isHidden())
            bringToFront(window);
    });
    connect(m_notifier, &DesktopNotifier::replyRequested, this, &MessageIntake::replyFromNotification);
}

void MessageIntake::startPresence(const QDBusConnection &bus, std::function<PresenceRecord()> identity)
{
    m_identity = std::move(identity);
    m_presence = new PresenceAnnouncer(bus, this);
    watchSenderStore(&MessageIntake::updatePresence);
    updatePresence();
}

void MessageIntake::startEncryption()
{
    const Identity identity = ownIdentityWithoutAsking();
    std::optional<QSslConfiguration> configuration;
    if (identity.state() == Identity::State::Ready) {
        configuration = tlsConfiguration(identity, true);
        m_identityKey = identity.publicKeyDigest();
    } else {
        qCInfo(lcNetwork) << "encrypted connections are refused: no key" << identity.error();
    }
    QMetaObject::invokeMethod(
        m_network, [network = m_network, configuration] { network->setTls(configuration); },
        Qt::QueuedConnection);
    watchSenderStore(&MessageIntake::updateKeyBook);
    updateKeyBook();
    updatePresence();
}

void MessageIntake::watchSenderStore(void (MessageIntake::*changed)())
{
    // Quillpost's store is replaced as a whole when it changes: its folder
    // is what shows a new name, reply port or pinned key.
    if (!m_senderStoreWatch) {
        m_senderStoreWatch = new QFileSystemWatcher(this);
        m_senderStoreWatch->addPath(senderStoreFolder());
    }
    connect(m_senderStoreWatch, &QFileSystemWatcher::directoryChanged, this, changed);
}

void MessageIntake::updateKeyBook()
{
    QMetaObject::invokeMethod(
        m_network, [network = m_network, book = loadKeyBook()] { network->setKeyBook(book); },
        Qt::QueuedConnection);
}

void MessageIntake::updatePresence()
{
    if (!m_presence)
        return;
    quint16 port = 0;
    for (const PortState &state : std::as_const(m_ports)) {
        if (state.listening != 0) {
            port = state.listening;
            break;
        }
    }
    if (m_shutDown || !m_settings.announce || port == 0) {
        m_presence->withdraw();
        return;
    }
    if (!isPresenceId(m_settings.presenceId))
        m_settings.presenceId = newPresenceId();
    PresenceRecord record = m_identity();
    record.id = m_settings.presenceId;
    record.key = m_identityKey;
    m_presence->announce(record, port);
}

void MessageIntake::showHiddenWindows()
{
    for (MessageView *view : m_router->windows()) {
        for (MessageWindow *window : std::as_const(m_windows)) {
            if (window && window == view && window->isHidden())
                bringToFront(window);
        }
    }
}

MessageWindow *MessageIntake::windowOf(const Message &sender) const
{
    for (MessageView *view : m_router->windows()) {
        if (!view || !view->showsSender(sender))
            continue;
        for (MessageWindow *window : m_windows) {
            if (window && window == view)
                return window;
        }
    }
    return nullptr;
}

void MessageIntake::replyFromNotification(const Message &sender, const QString &activationToken)
{
    // The token lets Quillpost's window come forward.
    m_replies->setNextActivationToken(activationToken);
    // The window's own "Reply" where the window is there, so it closes as
    // after a click; else the main window tells what came of it.
    if (MessageWindow *window = windowOf(sender))
        window->onReplyClicked();
    else
        m_replies->reply(sender, this);
    m_replies->setNextActivationToken({});
}

void MessageIntake::queueChanged()
{
    // A shorter queue may let paused ports accept again.
    if (m_admission->setQueue(m_router->queue().size(), m_router->queuedBytes()))
        QMetaObject::invokeMethod(m_network, &ReceiverNetwork::updateAccepting, Qt::QueuedConnection);
}

MessageWindow *MessageIntake::openMessageWindow(int slot, const Message &first)
{
    // The window built while nothing else was going on, if there is one:
    // a new sender's message then only sets its texts and shows it.
    m_spareWindows.removeAll(nullptr);
    MessageWindow *window =
        !m_spareWindows.isEmpty() ? m_spareWindows.takeFirst().data() : buildMessageWindow();
    // Kept back for its notification only while a server is there to show it.
    const bool quiet =
        m_settings.messageAlert == MessageAlert::Notification && m_notifier && m_notifier->isAvailable();
    window->showFirst(slot, first, !quiet);
    scheduleSpareWindow();
    return window;
}

MessageWindow *MessageIntake::buildMessageWindow()
{
    auto *window = new MessageWindow(m_settings);
    connect(window, &MessageWindow::closed, m_router, &MessageRouter::windowClosed);
    connect(window, &MessageWindow::fateChanged, m_history, &MessageHistory::setFate);
    window->setReplyService(m_replies);
    window->prepare();
    m_windows.removeAll(nullptr);
    m_windows.append(window);
    return window;
}

void MessageIntake::scheduleSpareWindow(bool atStart)
{
    if (atStart)
        m_sparesWanted = kSpareWindowsAtStart;
    // A zero timer fires once the events waiting now are handled; one window
    // a time, so that events coming meanwhile are not held up.
    if (!m_spareScheduled && m_spareWindows.size() < m_sparesWanted && !m_spareStopped) {
        m_spareScheduled = true;
        QTimer::singleShot(0, this, [this] {
            m_spareScheduled = false;
            m_spareWindows.removeAll(nullptr);
            if (m_spareWindows.size() >= m_sparesWanted || m_spareStopped)
                return;
            m_spareWindows.append(buildMessageWindow());
            if (m_spareWindows.size() < m_sparesWanted)
                scheduleSpareWindow();
            else
                m_sparesWanted = 1; // from now on one is built again when taken
        });
    }
}

void MessageIntake::stopSpareWindows()
{
    m_spareStopped = true;
}

void MessageIntake::messagesArrived(const QList<Message> &messages)
{
    for (const Message &message : messages)
        messageArrived(message);
}

void MessageIntake::messageArrived(const Message &message)
{
    if (m_router->isReceiveReady()) {
        m_router->route(message);
    } else {
        // Queued at once, so arrival order holds however long the notice
        // stays open.
        m_router->enqueue(message);
        emit messageWaiting();
    }
    if (m_notifier && m_settings.messageAlert != MessageAlert::Window)
        m_notifier->notify(message);
    // Counted in the queue (if it went there) before it stops counting as on
    // its way; ports paused for want of room may accept again.
    if (m_admission->taken())
        QMetaObject::invokeMethod(m_network, &ReceiverNetwork::updateAccepting, Qt::QueuedConnection);
    emit messageHandled();
}
