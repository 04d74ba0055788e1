#include "receiverwindow.h"

#include "aboutbox.h"
#include "conversions.h"
#include "desktopnotifier.h"
#include "fieldchecks.h"
#include "historywindow.h"
#include "listener.h"
#include "messagebox.h"
#include "messagehistory.h"
#include "messagerouter.h"
#include "messagewindow.h"
#include "positionkeeper.h"
#include "receivernetwork.h"
#include "receiveroptionsdialog.h"
#include "receiversettings.h"
#include "replytosender.h"
#include "settingsstore.h"
#include "trayicon.h"
#include "windowactivation.h"
#include "windowposition.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString kCaption = QStringLiteral("Message Receiver");
const QString kPositionPrefix;
constexpr int kWidth = 320;
constexpr int kHeight = 110;
// Ports named in the status before the rest are only counted.
constexpr qsizetype kPortsNamed = 8;

// "505", "505 and 506", "505, 506 and 507", "505, ... and 12 more".
QString portNames(const QList<qint32> &ports)
{
    QStringList names;
    for (qsizetype i = 0; i < ports.size() && i < kPortsNamed; ++i)
        names.append(QString::number(ports[i]));
    if (ports.size() > kPortsNamed)
        names.append(QStringLiteral("%1 more").arg(ports.size() - kPortsNamed));
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}
} // namespace

ReceiverWindow::ReceiverWindow(SettingsStore &store, ReceiverSettings &settings,
                               ReceiverWindowOptions options, QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_settings(settings)
    , m_options(std::move(options))
    , m_router(new MessageRouter(this))
    , m_history(new MessageHistory(
          m_options.historyPath.isEmpty() ? MessageHistory::defaultPath() : m_options.historyPath, this))
    , m_tray(nullptr)
    , m_networkThread(new QThread(this))
    , m_network(new ReceiverNetwork(m_options.listenAddress, m_room))
    , m_senderProgram(TrayIcon::senderProgramPath())
{
    // The network side reads on a thread of its own and hands whole messages
    // over, in order, through the event loop.
    qRegisterMetaType<Message>();
    m_networkThread->setObjectName(QStringLiteral("Quillbox network"));
    m_network->setHistory(m_history);
    m_network->moveToThread(m_networkThread);
    connect(m_networkThread, &QThread::finished, m_network, &QObject::deleteLater);
    connect(m_network, &ReceiverNetwork::messagesArrived, this, &ReceiverWindow::messagesArrived,
            Qt::QueuedConnection);
    m_networkThread->start();
    setObjectName(QStringLiteral("ReceiveForm"));
    setWindowTitle(kCaption);
    // Also the notification-area icon.
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillbox.svg")));

    auto *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mainnm1"));
    QAction *history = file->addAction(QStringLiteral("&History..."));
    history->setObjectName(QStringLiteral("historymn"));
    connect(history, &QAction::triggered, this, &ReceiverWindow::onHistoryTriggered);
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("exitmn"));
    auto *option = menuBar()->addMenu(QStringLiteral("&Option"));
    option->setObjectName(QStringLiteral("mainnm2"));
    QAction *programOption = option->addAction(QStringLiteral("&Program Option..."));
    programOption->setObjectName(QStringLiteral("progopmn"));
    auto *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mainnm3"));
    QAction *about = help->addAction(QStringLiteral("&About..."));
    about->setObjectName(QStringLiteral("aboutnm"));
    connect(exit, &QAction::triggered, this, &ReceiverWindow::onExitTriggered);
    connect(programOption, &QAction::triggered, this, &ReceiverWindow::onProgramOptionsTriggered);
    connect(about, &QAction::triggered, this, &ReceiverWindow::onAboutTriggered);

    auto *central = new QWidget(this);
    auto *hide = new QPushButton(QStringLiteral("Hide"), central);
    hide->setObjectName(QStringLiteral("Command1"));
    connect(hide, &QPushButton::clicked, this, &ReceiverWindow::onHideClicked);
    // Which ports listen, and why one does not: after its error box the
    // reason stays in sight.
    m_portStatus = new QLabel(central);
    m_portStatus->setObjectName(QStringLiteral("PortStatus"));
    m_portStatus->setTextFormat(Qt::PlainText);
    m_portStatus->setWordWrap(true);
    m_portStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(m_portStatus);
    layout->addWidget(hide);
    setCentralWidget(central);
    resize(kWidth, kHeight);

    connect(m_router, &MessageRouter::queueChanged, this, &ReceiverWindow::queueChanged);
    m_router->setWindowFactory(
        [this](int slot, const Message &first) { return openMessageWindow(slot, first); });
    connect(m_history, &MessageHistory::unreadCountChanged, this, &ReceiverWindow::unreadCountChanged);
    // Messages the history could not keep (a full disk, a damaged file) are
    // still shown in their windows; the user learns that the history lacks them.
    connect(m_history, &MessageHistory::dropped, this, [this](qint64 total) {
        showNotice(this, kTitleWarning,
                   QStringLiteral("The message history could not keep %1 messages: ").arg(total) +
                       m_history->errorString(),
                   NoticeText::Replace);
    });
    // Ports paused while the history's writer fell behind may accept again.
    connect(m_history, &MessageHistory::roomMade, m_network, &ReceiverNetwork::updateAccepting,
            Qt::QueuedConnection);
    connect(m_router, &MessageRouter::lastWindowClosed, this, [this] {
        if (m_unloaded)
            emit programEnded();
    });
}

ReceiverWindow::~ReceiverWindow()
{
    stopNetwork();
    delete m_spareWindow.data();
    delete m_historyWindow.data();
    // The windows report what was left unread to the history, which is
    // still there.
    m_router->closeAllWindows();
}

void ReceiverWindow::stopNetwork()
{
    if (!m_networkThread->isRunning())
        return;
    QMetaObject::invokeMethod(m_network, &ReceiverNetwork::shutdown, Qt::BlockingQueuedConnection);
    m_networkThread->quit();
    m_networkThread->wait();
}

bool ReceiverWindow::isHiddenStartSwitch(const QString &commandLine)
{
    return trimBlanks(commandLine).compare(u"-V", Qt::CaseInsensitive) == 0;
}

void ReceiverWindow::start(const QString &commandLine)
{
    m_router->setReceiveReady(true);

    m_tray = new TrayIcon(this, this);
    connect(m_tray, &TrayIcon::hideRequested, this, [this] {
        if (m_router->isReceiveReady() && m_modalDepth == 0)
            onHideClicked();
    });
    connect(m_tray, &TrayIcon::closeRequested, this, &QWidget::close);
    connect(m_tray, &TrayIcon::historyRequested, this, &ReceiverWindow::onHistoryTriggered);
    if (m_options.trayIcon)
        m_tray->addIcon();

    if (m_options.loadSettings)
        loadReceiverSettings(m_store, m_settings);
    applyHistoryOptions();
    unreadCountChanged(m_history->unreadCount());

    // Listening comes first: nothing the settings file does may hold up a
    // sender.
    startListeners();

    placeWindow(this, m_store, kPositionPrefix);
    storeWindowPosition(this, m_store, kPositionPrefix);
    const bool portsSaved = savePortList(m_store, m_settings.portList);
    const bool alertSaved = saveMessageAlert(m_store, m_settings.messageAlert);
    if (!saveSoundOption(m_store, m_settings.playIncomingSound) || !portsSaved || !alertSaved)
        reportSaveFailure(this, m_store.fileName());
    if (!m_history->isOpen())
        showNotice(this, kTitleWarning,
                   QStringLiteral("The message history cannot be kept: ") + m_history->errorString());

    show();
    if (isHiddenStartSwitch(commandLine))
        hideFromTray();
    scheduleSpareWindow();
    if (m_options.desktopNotifications)
        startNotifier();
}

void ReceiverWindow::startNotifier()
{
    m_notifier = new DesktopNotifier(this);
    connect(m_notifier, &DesktopNotifier::openRequested, this, [this](const Message &sender) {
        if (MessageWindow *window = windowOf(sender))
            bringToFront(window);
    });
    // A window kept back for a notification that never showed comes up.
    connect(m_notifier, &DesktopNotifier::notShown, this, [this](const Message &sender) {
        if (m_settings.messageAlert != MessageAlert::Notification)
            return; // none is kept back
        MessageWindow *window = windowOf(sender);
        if (window && window->isHidden())
            bringToFront(window);
    });
    connect(m_notifier, &DesktopNotifier::replyRequested, this, &ReceiverWindow::replyFromNotification);
}

void ReceiverWindow::showHiddenWindows()
{
    for (MessageView *view : m_router->windows()) {
        if (auto *window = dynamic_cast<MessageWindow *>(view); window && window->isHidden())
            bringToFront(window);
    }
}

MessageWindow *ReceiverWindow::windowOf(const Message &sender) const
{
    for (MessageView *view : m_router->windows()) {
        if (view && view->showsSender(sender))
            return dynamic_cast<MessageWindow *>(view);
    }
    return nullptr;
}

void ReceiverWindow::replyFromNotification(const Message &sender)
{
    // The window's own "Reply" where the window is there, so it closes as
    // after a click.
    if (MessageWindow *window = windowOf(sender)) {
        window->onReplyClicked();
        return;
    }
    if (!m_notificationReply) {
        m_notificationReply = new ReplyToSender(this);
        m_notificationReply->setSenderProgram(m_senderProgram);
    }
    m_notificationReply->start(sender.name, sender.address, sender.answerPort());
}

void ReceiverWindow::startListeners()
{
    QList<qint32> ports;
    for (int n = 1; !m_unloaded && n <= m_settings.portList.count(); ++n)
        ports.append(m_settings.portList.at(n));
    // Opening ports takes the network thread a moment; every port is open
    // before any error is shown, so that the boxes come in the order of the
    // ports.
    QList<PortState> states;
    QMetaObject::invokeMethod(
        m_network, [this, &ports, &states] { states = m_network->applyPorts(ports); },
        Qt::BlockingQueuedConnection);
    m_ports = states;
    showPortStatus();
    for (const PortState &state : std::as_const(states)) {
        if (!state.error.isEmpty())
            showNotice(this, kTitleError, QStringLiteral("Winsock Error: ") + state.error);
    }
}

QString ReceiverWindow::portStatus(const QList<PortState> &ports)
{
    QList<qint32> listening;
    QStringList failed;
    for (const PortState &state : ports) {
        if (state.listening != 0) {
            listening.append(state.listening);
            continue;
        }
        if (failed.size() == kPortsNamed)
            continue; // counted below
        // The error box's text without its advice, which a protected port
        // gets here in short.
        const QString reason = state.error.section(QStringLiteral("\n\n"), 0, 0);
        const bool protectedPort =
            state.error != reason &&
            state.error == listenErrorDescription(QAbstractSocket::SocketAccessError, reason,
                                                  state.configured, QCoreApplication::applicationFilePath());
        failed.append(
            QStringLiteral("Not listening on port %1: %2").arg(QString::number(state.configured), reason) +
            (protectedPort ? QStringLiteral(" (ports below 1024 need a right granted once: see "
                                            "\"Port 505 on Linux\" in the README)")
                           : QString()));
    }
    const qsizetype unnamed = ports.size() - listening.size() - failed.size();
    if (unnamed > 0)
        failed.append(QStringLiteral("Not listening on %1 more ports").arg(unnamed));
    QStringList lines;
    if (!listening.isEmpty())
        lines.append(QStringLiteral("Listening on port%1 %2")
                         .arg(listening.size() > 1 ? QStringLiteral("s") : QString(), portNames(listening)));
    else if (failed.isEmpty())
        lines.append(QStringLiteral("Listening on no port"));
    return (lines + failed).join(u'\n');
}

void ReceiverWindow::showPortStatus()
{
    const QString status = portStatus(m_ports);
    m_portStatus->setText(status);
    if (m_tray)
        m_tray->setPortStatus(status);
    // The window's height follows the lines, at its width.
    const int lines = centralWidget()->layout()->totalHeightForWidth(width());
    resize(width(), std::max(kHeight, menuBar()->sizeHint().height() + lines));
}

QList<quint16> ReceiverWindow::listeningPorts() const
{
    QList<quint16> ports;
    for (const PortState &state : m_ports)
        ports.append(state.listening);
    return ports;
}

void ReceiverWindow::setDataTimeout(int milliseconds)
{
    QMetaObject::invokeMethod(
        m_network, [this, milliseconds] { m_network->setDataTimeout(milliseconds); },
        Qt::BlockingQueuedConnection);
}

void ReceiverWindow::queueChanged()
{
    const qsizetype before = m_room.queued.exchange(m_router->queue().size());
    m_room.queuedBytes.store(m_router->queuedBytes());
    // A shorter queue may let paused ports accept again.
    if (m_router->queue().size() < before)
        QMetaObject::invokeMethod(m_network, &ReceiverNetwork::updateAccepting, Qt::QueuedConnection);
}

MessageView *ReceiverWindow::openMessageWindow(int slot, const Message &first)
{
    // The window built while nothing else was going on, if there is one:
    // a new sender's message then only sets its texts and shows it.
    MessageWindow *window = m_spareWindow ? m_spareWindow.data() : buildMessageWindow();
    m_spareWindow = nullptr;
    // Kept back for its notification only while a server is there to show it.
    const bool quiet =
        m_settings.messageAlert == MessageAlert::Notification && m_notifier && m_notifier->isAvailable();
    window->showFirst(slot, first, !quiet);
    scheduleSpareWindow();
    return window;
}

MessageWindow *ReceiverWindow::buildMessageWindow()
{
    auto *window = new MessageWindow(m_settings);
    connect(window, &MessageWindow::closed, m_router, &MessageRouter::windowClosed);
    connect(window, &MessageWindow::fateChanged, m_history, &MessageHistory::setFate);
    attachReplyToSender(window, m_senderProgram);
    window->prepare();
    return window;
}

void ReceiverWindow::scheduleSpareWindow()
{
    // A zero timer fires once the events waiting now are handled.
    if (!m_spareScheduled && !m_spareWindow && !m_unloaded) {
        m_spareScheduled = true;
        QTimer::singleShot(0, this, [this] {
            m_spareScheduled = false;
            if (!m_spareWindow && !m_unloaded)
                m_spareWindow = buildMessageWindow();
        });
    }
}

void ReceiverWindow::messagesArrived(const QList<Message> &messages)
{
    for (const Message &message : messages)
        messageArrived(message);
}

void ReceiverWindow::messageArrived(const Message &message)
{
    handOn(message);
    if (m_notifier && m_settings.messageAlert != MessageAlert::Window)
        m_notifier->notify(message);
    // Counted in the queue (if it went there) before it stops counting as on
    // its way; ports paused for want of room may accept again.
    const bool full = !queueHasRoom(m_room.queued, m_room.queuedBytes, m_room.held + m_room.inTransit);
    m_room.inTransit.fetch_sub(1);
    if (full)
        QMetaObject::invokeMethod(m_network, &ReceiverNetwork::updateAccepting, Qt::QueuedConnection);
    emit messageHandled();
}

void ReceiverWindow::handOn(const Message &message)
{
    if (m_router->isReceiveReady()) {
        m_router->route(message);
        return;
    }
    // Queued at once, so arrival order holds however long the notice stays
    // open; a notice already open stands for every message that waits.
    m_router->enqueue(message);
    QWidget *modal = QApplication::activeModalWidget();
    showNotice(modal ? modal : this, kTitleMessageWaiting,
               QStringLiteral("Message Waiting, return to main menu to receive"));
}

void ReceiverWindow::hideFromTray()
{
    // Without a notification area a hidden window could never come back.
    if (m_tray && m_tray->isShown() && TrayIcon::isAvailable())
        hide();
    else
        showMinimized();
}

void ReceiverWindow::onHideClicked()
{
    hideFromTray();
}

void ReceiverWindow::onActivated()
{
    // A window activated while a modal dialog is still up (a notice over the
    // About box, say) does not end the wait.
    if (m_modalDepth > 0 || m_unloaded)
        return;
    m_router->setReceiveReady(true);
    m_router->processQueue();
}

void ReceiverWindow::modalDialogClosed()
{
    --m_modalDepth;
    // The activation that follows a modal dialog does not come on every
    // desktop (or not at all when hidden in the meantime); what waited is
    // shown now either way.
    onActivated();
}

void ReceiverWindow::onProgramOptionsTriggered()
{
    m_router->setReceiveReady(false);
    ++m_modalDepth;
    {
        ReceiverOptionsDialog dialog(m_store, m_settings, nullptr);
        connect(&dialog, &ReceiverOptionsDialog::clearHistoryRequested, m_history, &MessageHistory::clear);
        dialog.exec();
    }
    applyHistoryOptions();
    // Windows kept back for notifications come up when those are switched off.
    if (m_settings.messageAlert != MessageAlert::Notification)
        showHiddenWindows();
    startListeners();
    modalDialogClosed();
}

void ReceiverWindow::onAboutTriggered()
{
    m_router->setReceiveReady(false);
    ++m_modalDepth;
    showAboutBox(this, QStringLiteral("Quillbox"), m_store);
    modalDialogClosed();
}

void ReceiverWindow::onExitTriggered()
{
    unload();
    hide();
    m_router->closeAllWindows();
    emit programEnded();
}

void ReceiverWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    saveSettings();
    if (m_tray)
        m_tray->removeIcon();
    // What was read already still comes through the event loop and is shown.
    QMetaObject::invokeMethod(m_network, &ReceiverNetwork::shutdown, Qt::BlockingQueuedConnection);
    m_ports.clear();
}

void ReceiverWindow::saveSettings()
{
    bool saved = savePortList(m_store, m_settings.portList);
    saved = saveSoundOption(m_store, m_settings.playIncomingSound) && saved;
    saved = saveMessageAlert(m_store, m_settings.messageAlert) && saved;
    saved = saveHistoryOptions(m_store, m_settings.history) && saved;
    storeWindowPosition(this, m_store, kPositionPrefix);
    PositionKeeper::storeOpenPositions();
    if (!m_store.flush() || !saved)
        reportSaveFailure(this, m_store.fileName());
}

bool ReceiverWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        onActivated();
    return QMainWindow::event(event);
}

void ReceiverWindow::closeEvent(QCloseEvent *event)
{
    unload();
    // Nothing stays out of reach once the program has no window of its own.
    showHiddenWindows();
    event->accept();
    if (m_router->openWindowCount() == 0)
        emit programEnded();
}

void ReceiverWindow::applyHistoryOptions()
{
    const HistoryOptions &options = m_settings.history;
    m_history->setEnabled(options.keep);
    m_history->setLimits(options.maxMessages, qint64(options.maxMegabytes) * 1024 * 1024);
}

void ReceiverWindow::unreadCountChanged(int count)
{
    if (m_tray)
        m_tray->setUnreadCount(count);
}

void ReceiverWindow::onHistoryTriggered()
{
    if (!m_historyWindow) {
        auto *window = new HistoryWindow(*m_history);
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto *reply = new ReplyToSender(window);
        reply->setSenderProgram(m_senderProgram);
        connect(window, &HistoryWindow::replyRequested, reply,
                [window, reply](const QString &name, const QString &ip, qint32 port) {
                    window->setReplyEnabled(false);
                    reply->start(name, ip, port);
                });
        connect(reply, &ReplyToSender::finished, window, [window] { window->setReplyEnabled(true); });
        m_historyWindow = window;
    }
    m_historyWindow->show();
    bringToFront(m_historyWindow);
}
