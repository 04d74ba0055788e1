#include "receiverwindow.h"

#include "aboutbox.h"
#include "conversions.h"
#include "fieldchecks.h"
#include "listener.h"
#include "messagebox.h"
#include "messagerouter.h"
#include "messagewindow.h"
#include "receiveroptionsdialog.h"
#include "receiversettings.h"
#include "replytosender.h"
#include "settingsstore.h"
#include "trayicon.h"
#include "windowposition.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QMenuBar>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString kCaption = QStringLiteral("Message Receiver");
const QString kPositionPrefix;
} // namespace

ReceiverWindow::ReceiverWindow(SettingsStore &store, ReceiverSettings &settings,
                               ReceiverWindowOptions options, QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_settings(settings)
    , m_options(std::move(options))
    , m_router(new MessageRouter(this))
    , m_tray(nullptr)
    , m_dataTimeoutMs(Listener::kDataTimeoutMs)
    , m_senderProgram(TrayIcon::senderProgramPath())
{
    setObjectName(QStringLiteral("ReceiveForm"));
    setWindowTitle(kCaption);
    // Also the notification-area icon.
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillbox.svg")));

    auto *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mainnm1"));
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
    (new QVBoxLayout(central))->addWidget(hide);
    setCentralWidget(central);
    resize(260, 110);

    connect(m_router, &MessageRouter::queueChanged, this, &ReceiverWindow::updateAccepting);
    m_router->setWindowFactory(
        [this](int slot, const Message &first) { return openMessageWindow(slot, first); });
    connect(m_router, &MessageRouter::lastWindowClosed, this, [this] {
        if (m_unloaded)
            emit programEnded();
    });
}

ReceiverWindow::~ReceiverWindow()
{
    delete m_spareWindow.data();
    qDeleteAll(std::exchange(m_listeners, {}));
    m_router->closeAllWindows();
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
    if (m_options.trayIcon)
        m_tray->addIcon();

    if (m_options.loadSettings)
        loadReceiverSettings(m_store, m_settings);

    // Listening comes first: nothing the settings file does may hold up a
    // sender.
    startListeners();

    placeWindow(this, m_store, kPositionPrefix);
    storeWindowPosition(this, m_store, kPositionPrefix);
    const bool portsSaved = savePortList(m_store, m_settings.portList);
    if (!saveSoundOption(m_store, m_settings.playIncomingSound) || !portsSaved)
        reportSaveFailure(this, m_store.fileName());

    show();
    if (isHiddenStartSwitch(commandLine))
        hideFromTray();
    scheduleSpareWindow();
}

void ReceiverWindow::startListeners()
{
    // Each port once, in the order of the list. (0 asks the system for a
    // port of its choice; only tests list it, and each 0 is a port of its own.)
    QList<qint32> ports;
    for (int n = 1; !m_unloaded && n <= m_settings.portList.count(); ++n) {
        const qint32 port = m_settings.portList.at(n);
        if (port == 0 || !ports.contains(port))
            ports.append(port);
    }
    // A listener on a port that is still wanted stays as it is: closing it
    // would reset the senders the kernel holds for it. The others stop
    // listening but still read and hand on the senders they let in.
    QList<Listener *> old = std::exchange(m_listeners, {});
    QHash<qint32, Listener *> kept;
    for (Listener *listener : std::as_const(old)) {
        const qint32 port = listener->configuredPort();
        if (port != 0 && listener->isListening() && ports.contains(port) && !kept.contains(port))
            kept.insert(port, listener);
        else
            listener->retire();
    }
    // Every port is opened before any error is shown, so that the boxes come
    // in the order of the ports.
    QStringList failures;
    for (const qint32 port : std::as_const(ports)) {
        if (Listener *listener = kept.value(port)) {
            m_listeners.append(listener);
            continue;
        }
        auto *listener = new Listener(m_options.listenAddress, port, this);
        listener->setDataTimeout(m_dataTimeoutMs);
        listener->setAdmission([this] { return m_router->hasRoomFor(connectionsInFlight()); });
        connect(listener, &Listener::messageReceived, this, &ReceiverWindow::messageArrived);
        connect(listener, &Listener::connectionsReleased, this, &ReceiverWindow::updateAccepting);
        connect(listener, &Listener::listenFailed, this,
                [&failures](const QString &description) { failures.append(description); });
        m_listeners.append(listener);
        listener->startListening();
        disconnect(listener, &Listener::listenFailed, this, nullptr);
    }
    for (const QString &description : std::as_const(failures))
        showNotice(this, kTitleError, QStringLiteral("Winsock Error: ") + description);
}

int ReceiverWindow::connectionsInFlight() const
{
    // Retiring listeners are still children and still hand messages on.
    int held = 0;
    for (const Listener *listener : findChildren<Listener *>(Qt::FindDirectChildrenOnly))
        held += listener->heldConnections();
    return held;
}

void ReceiverWindow::setDataTimeout(int milliseconds)
{
    m_dataTimeoutMs = milliseconds;
    for (Listener *listener : std::as_const(m_listeners))
        listener->setDataTimeout(milliseconds);
}

void ReceiverWindow::updateAccepting()
{
    for (Listener *listener : std::as_const(m_listeners))
        listener->updateAccepting();
}

MessageView *ReceiverWindow::openMessageWindow(int slot, const Message &first)
{
    // The window built while nothing else was going on, if there is one:
    // a new sender's message then only sets its texts and shows it.
    MessageWindow *window = m_spareWindow ? m_spareWindow.data() : buildMessageWindow();
    m_spareWindow = nullptr;
    window->showFirst(slot, first);
    scheduleSpareWindow();
    return window;
}

MessageWindow *ReceiverWindow::buildMessageWindow()
{
    auto *window = new MessageWindow(m_settings);
    connect(window, &MessageWindow::closed, m_router, &MessageRouter::windowClosed);
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

void ReceiverWindow::messageArrived(const QByteArray &payload, const QString &peerIp, quint16 localPort)
{
    std::optional<Message> message = messageFromPayload(payload, peerIp, localPort);
    if (!message)
        return;
    if (m_router->isReceiveReady()) {
        m_router->route(*message);
        return;
    }
    // Queued at once, so arrival order holds however long the notice stays
    // open; a notice already open stands for every message that waits.
    m_router->enqueue(std::move(*message));
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
        dialog.exec();
    }
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
    savePortList(m_store, m_settings.portList);
    saveSoundOption(m_store, m_settings.playIncomingSound);
    storeWindowPosition(this, m_store, kPositionPrefix);
    if (!m_store.flush())
        reportSaveFailure(this, m_store.fileName());
    if (m_tray)
        m_tray->removeIcon();
    for (Listener *listener : std::exchange(m_listeners, {})) {
        listener->close();
        listener->deleteLater();
    }
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
    event->accept();
    if (m_router->openWindowCount() == 0)
        emit programEnded();
}
