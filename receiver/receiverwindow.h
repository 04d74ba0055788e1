#pragma once

#include "fieldchecks.h"
#include "historywindow.h"
#include "messageintake.h"

#include <QHostAddress>
#include <QList>
#include <QMainWindow>
#include <QPointer>

class QLabel;
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
    // Whether the user is announced on the local network (the settings say
    // whether) through the Avahi daemon on the system bus.
    bool presence = true;
};

// Quillbox's main window, "Message Receiver": the menus, the
// notification-area icon and the dialogs, over the MessageIntake that owns
// the listeners, the router with the message windows, the history and the
// replies; it shows what the intake reports. It lives for the whole process;
// closing it ends the listeners while open message windows stay until they
// are closed.
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

    MessageIntake &intake() { return *m_intake; }
    MessageRouter &router() { return m_intake->router(); }
    MessageHistory &history() { return m_intake->history(); }
    DesktopNotifier *notifier() const { return m_intake->notifier(); }
    // The ports listened on, in the order of the port list (each once; 0
    // for one that could not be listened on).
    QList<quint16> listeningPorts() const { return m_intake->listeningPorts(); }
    TrayIcon *tray() const { return m_tray; }
    HistoryWindow *historyWindow() const { return m_historyWindow; }
    bool isUnloaded() const { return m_unloaded; }

    static bool isHiddenStartSwitch(const QString &commandLine)
    {
        return trimBlanks(commandLine).compare(u"-V", Qt::CaseInsensitive) == 0;
    }

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
    void createMenus();
    void createCentralWidget();
    void connectIntake();
    void createTrayIcon();
    void onActivated();
    void modalDialogClosed();

    SettingsStore &m_store;
    ReceiverSettings &m_settings;
    ReceiverWindowOptions m_options;
    MessageIntake *m_intake;
    QPointer<HistoryWindow> m_historyWindow;
    TrayIcon *m_tray = nullptr;
    QLabel *m_portStatus;
    int m_modalDepth = 0;
    bool m_unloaded = false;
};
