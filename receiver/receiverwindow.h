#pragma once

#include "historywindow.h"
#include "messagewindow.h"
#include "receivernetwork.h"

#include <QHostAddress>
#include <QList>
#include <QMainWindow>
#include <QPointer>

class DesktopNotifier;
class QLabel;
class QThread;
class MessageHistory;
class ReplyToSender;
class MessageView;
struct Message;
class MessageRouter;
class SettingsStore;
class TrayIcon;
struct ReceiverSettings;

struct ReceiverWindowOptions
{
    // Where the listeners listen (tests use the loopback address).
    QHostAddress listenAddress = QHostAddress::Any;
    // Whether the notification-area icon is put up.
    bool trayIcon = true;
    // False when the caller has already put the settings in place (tests
    // choosing their own ports); the store is still written as at any start.
    bool loadSettings = true;
    // The history's database; empty: MessageHistory::defaultPath().
    QString historyPath;
    // Whether messages are also posted as desktop notifications (the
    // settings choose how); the tests of other things leave the bus alone.
    bool desktopNotifications = true;
};

// Quillbox's main window, "Message Receiver": owns the listeners, the
// router with the message windows and the queue, the notification-area icon
// and the menus. It lives for the whole process; closing it ends the
// listeners while open message windows stay until they are closed.
class ReceiverWindow : public QMainWindow
{
    Q_OBJECT
public:
    ReceiverWindow(SettingsStore &store, ReceiverSettings &settings, ReceiverWindowOptions options = {},
                   QWidget *parent = nullptr);
    ~ReceiverWindow() override;

    // The start: settings, position, listeners, then shown (hidden again for
    // the command line "-V").
    void start(const QString &commandLine);
    void unload();
    // Writes the ports, the options and the window positions at once: the
    // session ends, or the program was told to end.
    void saveSettings();

    void onHideClicked();
    void onExitTriggered();
    void onProgramOptionsTriggered();
    void onAboutTriggered();
    // "History": the window of the message history, opened or brought forward.
    void onHistoryTriggered();

    // Closes every listener and opens one per entry of the port list.
    void startListeners();

    MessageRouter &router() { return *m_router; }
    // The message window built ahead for the next new sender, if any.
    MessageWindow *spareWindow() const { return m_spareWindow; }
    // The thread that listens and reads.
    QThread *networkThread() const { return m_networkThread; }
    // The ports listened on, in the order of the port list (each once; 0
    // for one that could not be listened on).
    QList<quint16> listeningPorts() const;
    TrayIcon *tray() const { return m_tray; }
    // One line per port: listening, or not and why (what the main window and
    // the tray tip show).
    static QString portStatus(const QList<PortState> &ports);
    MessageHistory &history() { return *m_history; }
    HistoryWindow *historyWindow() const { return m_historyWindow; }
    DesktopNotifier *notifier() const { return m_notifier; }
    bool isUnloaded() const { return m_unloaded; }

    // Tests shorten the wait for a silent peer.
    void setDataTimeout(int milliseconds);
    // The program "Reply" starts when Quillpost is not running (tests point
    // it elsewhere); quillpost beside this program by default.
    void setSenderProgram(const QString &path) { m_senderProgram = path; }
    QString senderProgram() const { return m_senderProgram; }

    static bool isHiddenStartSwitch(const QString &commandLine);

signals:
    // A message came from the network and went to a window or the queue.
    void messageHandled();
    // The program has nothing left to do (after "E&xit", or after the main
    // window closed and the last message window with it).
    void programEnded();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void messagesArrived(const QList<Message> &messages);
    void messageArrived(const Message &message);
    MessageView *openMessageWindow(int slot, const Message &first);
    MessageWindow *buildMessageWindow();
    void scheduleSpareWindow();
    void queueChanged();
    void handOn(const Message &message);
    void stopNetwork();
    void hideFromTray();
    void onActivated();
    void modalDialogClosed();
    void applyHistoryOptions();
    void unreadCountChanged(int count);
    void startNotifier();
    // The open (or hidden) message window of sender, if any.
    MessageWindow *windowOf(const Message &sender) const;
    void replyFromNotification(const Message &sender);
    void showHiddenWindows();
    void showPortStatus();

    SettingsStore &m_store;
    ReceiverSettings &m_settings;
    ReceiverWindowOptions m_options;
    MessageRouter *m_router;
    MessageHistory *m_history;
    QPointer<HistoryWindow> m_historyWindow;
    TrayIcon *m_tray;
    DesktopNotifier *m_notifier = nullptr;
    // Answers a notification whose window is gone.
    ReplyToSender *m_notificationReply = nullptr;
    QueueRoom m_room;
    QThread *m_networkThread;
    ReceiverNetwork *m_network;
    QList<PortState> m_ports;
    QLabel *m_portStatus;
    QString m_senderProgram;
    // One message window built ahead, hidden, for the next new sender.
    QPointer<MessageWindow> m_spareWindow;
    bool m_spareScheduled = false;
    int m_modalDepth = 0;
    bool m_unloaded = false;
};
