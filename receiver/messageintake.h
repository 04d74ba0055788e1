#pragma once

#include "receivernetwork.h"

#include "presence.h"

#include <QDBusConnection>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

class DesktopNotifier;
class PresenceAnnouncer;
class QFileSystemWatcher;
class MessageHistory;
class MessageRouter;
class MessageWindow;
class QThread;
class ReplyService;
struct Message;
struct ReceiverSettings;

// Quillbox's core, apart from its main window: the network on a thread of
// its own, the room the listeners read, the router with the message windows
// and the queue, the history, the desktop notifications and the reply
// service. It shows no notice itself: it reports what the main window shows.
class MessageIntake : public QObject
{
    Q_OBJECT
public:
    // The history's database at historyPath; listeners on listenAddress.
    MessageIntake(ReceiverSettings &settings, const QHostAddress &listenAddress, const QString &historyPath,
                  QObject *parent = nullptr);
    ~MessageIntake() override;

    // Listens on each port (closing the listeners of ports no longer listed);
    // the state of each, in order. Waits for the network thread.
    QList<PortState> applyPorts(const QList<qint32> &ports);
    // applyPorts() with the settings' port list; none once shut down.
    QList<PortState> listen();
    // The state of each port after the latest applyPorts().
    const QList<PortState> &ports() const { return m_ports; }
    // The ports listened on, in that order (0 for one that failed).
    QList<quint16> listeningPorts() const;
    // Ends listening; what was read already still comes through.
    void shutdownNetwork();
    // Tests shorten the wait for a silent peer.
    void setDataTimeout(int milliseconds);
    // The history keeps what the settings say, within their bounds.
    void applyHistoryOptions();
    // Posts desktop notifications from now on (the settings say when).
    void startNotifier();
    // Announces the user on bus (the system bus in the program) from now on,
    // while listening and the settings say so; the name and reply port come
    // from identity, Quillpost's identification unless a test gives its own.
    void startPresence(const QDBusConnection &bus,
                       std::function<PresenceRecord()> identity = presenceIdentity);
    // Serves encrypted connections with the user's identity (made when there
    // is none yet and Quillpost never had one; a lost or damaged one is
    // Quillpost's to replace, with the user) and checks senders against the
    // keys pinned in Quillpost's user list, following its changes.
    void startEncryption();
    // The key encrypted connections are served with, empty without one.
    QByteArray identityKey() const { return m_identityKey; }
    // Announces, follows a change of name, ports or option, or withdraws.
    void updatePresence();
    PresenceAnnouncer *presence() const { return m_presence; }
    // Message windows built ahead, hidden, while nothing else goes on: after
    // the start this many, so that the first burst of new senders finds them
    // ready; later one, built again whenever it was taken.
    static constexpr int kSpareWindowsAtStart = 8;
    // Builds message windows ahead, one each time the waiting events are
    // handled, until there are kSpareWindowsAtStart of them (atStart) or one.
    void scheduleSpareWindow(bool atStart = false);
    // No more windows are built ahead: the program is ending.
    void stopSpareWindows();
    // Brings up the message windows kept back for their notifications.
    void showHiddenWindows();

    MessageRouter &router() { return *m_router; }
    MessageHistory &history() { return *m_history; }
    ReplyService &replies() { return *m_replies; }
    DesktopNotifier *notifier() const { return m_notifier; }
    QThread *networkThread() const { return m_networkThread; }
    // The message window built ahead for the next new sender, if any.
    MessageWindow *spareWindow() const;
    int spareWindowCount() const { return int(m_spareWindows.size()); }

signals:
    // A message came from the network and went to a window or the queue.
    void messageHandled();
    // A message went to the queue because the router is not ready.
    void messageWaiting();

private:
    void stopNetwork();
    void updateKeyBook();
    // Calls changed whenever Quillpost's store may have changed.
    void watchSenderStore(void (MessageIntake::*changed)());
    void messagesArrived(const QList<Message> &messages);
    void messageArrived(const Message &message);
    void queueChanged();
    MessageWindow *openMessageWindow(int slot, const Message &first);
    MessageWindow *buildMessageWindow();
    // The open (or hidden) message window of sender, if any.
    MessageWindow *windowOf(const Message &sender) const;
    void replyFromNotification(const Message &sender, const QString &activationToken);

    ReceiverSettings &m_settings;
    MessageRouter *m_router;
    MessageHistory *m_history;
    ReplyService *m_replies;
    DesktopNotifier *m_notifier = nullptr;
    PresenceAnnouncer *m_presence = nullptr;
    std::function<PresenceRecord()> m_identity;
    // Quillpost's store folder, for its identification and pinned keys.
    QFileSystemWatcher *m_senderStoreWatch = nullptr;
    QByteArray m_identityKey;
    // Shared with the history's writer, which may outlive this object.
    std::shared_ptr<Admission> m_admission = std::make_shared<Admission>();
    QThread *m_networkThread;
    ReceiverNetwork *m_network;
    // The windows built here, shown or not.
    QList<QPointer<MessageWindow>> m_windows;
    QList<PortState> m_ports;
    bool m_shutDown = false;
    // One message window built ahead, hidden, for the next new sender.
    QList<QPointer<MessageWindow>> m_spareWindows;
    int m_sparesWanted = 1;
    bool m_spareScheduled = false;
    bool m_spareStopped = false;
};
