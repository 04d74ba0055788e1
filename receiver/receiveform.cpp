#include "receiveform.h"

#include "aboutbox.h"
#include "conversions.h"
#include "dialog1.h"
#include "fieldchecks.h"
#include "listener.h"
#include "messagebox.h"
#include "messagerouter.h"
#include "optprog.h"
#include "receiversettings.h"
#include "replytosender.h"
#include "settingsstore.h"
#include "systemtray.h"
#include "windowposition.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QMenuBar>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

namespace {
const QString kCaption = QStringLiteral("Message Receiver");
const QString kPositionPrefix;
} // namespace

ReceiveForm::ReceiveForm(SettingsStore &store, ReceiverSettings &settings, ReceiveFormOptions options,
                         QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_settings(settings)
    , m_options(std::move(options))
    , m_router(new MessageRouter(settings, this))
    , m_tray(nullptr)
    , m_dataTimeoutMs(Listener::kDataTimeoutMs)
    , m_senderProgram(SystemTray::SenderProgramPath())
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
    connect(exit, &QAction::triggered, this, &ReceiveForm::exitmn_Click);
    connect(programOption, &QAction::triggered, this, &ReceiveForm::progopmn_Click);
    connect(about, &QAction::triggered, this, &ReceiveForm::aboutnm_Click);

    auto *central = new QWidget(this);
    auto *hide = new QPushButton(QStringLiteral("Hide"), central);
    hide->setObjectName(QStringLiteral("Command1"));
    connect(hide, &QPushButton::clicked, this, &ReceiveForm::Command1_Click);
    (new QVBoxLayout(central))->addWidget(hide);
    setCentralWidget(central);
    resize(260, 110);

    connect(m_router, &MessageRouter::queueChanged, this, &ReceiveForm::updateAccepting);
    connect(m_router, &MessageRouter::windowOpened, this,
            [this](Dialog1 *window) { AttachReplyToSender(window, m_senderProgram); });
    connect(m_router, &MessageRouter::lastWindowClosed, this, [this] {
        if (m_unloaded)
            emit programEnded();
    });
}

ReceiveForm::~ReceiveForm()
{
    qDeleteAll(std::exchange(m_listeners, {}));
    m_router->closeAllWindows();
}

bool ReceiveForm::IsHiddenStartSwitch(const QString &commandLine)
{
    return TrimBlanks(commandLine).compare(u"-V", Qt::CaseInsensitive) == 0;
}

void ReceiveForm::Form_Load(const QString &commandLine)
{
    m_router->setReceiveReady(true);

    m_tray = new SystemTray(this, this);
    connect(m_tray, &SystemTray::hideRequested, this, [this] {
        if (m_router->ReceiveReady() && m_modalDepth == 0)
            Command1_Click();
    });
    connect(m_tray, &SystemTray::closeRequested, this, &QWidget::close);
    if (m_options.trayIcon)
        m_tray->AddTrayIcon();

    if (m_options.loadSettings)
        LoadReceiverSettings(m_store, m_settings);

    PlaceWindow(this, m_store, kPositionPrefix);
    StoreWindowPosition(this, m_store, kPositionPrefix);
    const bool portsSaved = SavePortList(m_store, m_settings.portList);
    if (!SaveSoundOption(m_store, m_settings.PlayIncomingSound) || !portsSaved)
        ReportSaveFailure(this, m_store.fileName());

    StartListeners();

    show();
    if (IsHiddenStartSwitch(commandLine))
        hideFromTray();
}

void ReceiveForm::StartListeners()
{
    // Senders already let in on the old listeners are still read and shown.
    for (Listener *listener : std::exchange(m_listeners, {}))
        listener->retire();
    if (m_unloaded)
        return;
    // Every port is opened before any error is shown: the box waits for the
    // user, and the ports after a refused one must not wait with it.
    QStringList failures;
    for (int n = 1; n <= m_settings.portList.count(); ++n) {
        auto *listener = new Listener(m_options.listenAddress, m_settings.portList.at(n), this);
        listener->setDataTimeout(m_dataTimeoutMs);
        listener->setAdmission([router = m_router] { return router->queueHasRoom(); });
        connect(listener, &Listener::messageReceived, this, &ReceiveForm::messageArrived);
        connect(listener, &Listener::listenFailed, this,
                [&failures](const QString &description) { failures.append(description); });
        m_listeners.append(listener);
        listener->StartListening();
        disconnect(listener, &Listener::listenFailed, this, nullptr);
    }
    for (const QString &description : std::as_const(failures)) {
        ShowMessage(this, kTitleError, QStringLiteral("Winsock Error: ") + description);
        // The error box runs its own event loop, in which the window may
        // have been closed.
        if (m_unloaded)
            return;
    }
}

void ReceiveForm::setDataTimeout(int milliseconds)
{
    m_dataTimeoutMs = milliseconds;
    for (Listener *listener : std::as_const(m_listeners))
        listener->setDataTimeout(milliseconds);
}

void ReceiveForm::updateAccepting()
{
    for (Listener *listener : std::as_const(m_listeners))
        listener->updateAccepting();
}

void ReceiveForm::messageArrived(const QByteArray &payload, const QString &peerIp, quint16 localPort)
{
    if (m_router->ReceiveReady()) {
        m_router->ProcessMessage(payload, localPort, peerIp);
        return;
    }
    // Queued at once, so arrival order holds however long the notice stays
    // open; and one notice at a time, so a burst of senders cannot pile up
    // modal boxes.
    m_router->AppendToQueue(QueuedMessage{payload, localPort, peerIp});
    if (!m_noticePending) {
        m_noticePending = true;
        QMetaObject::invokeMethod(this, &ReceiveForm::showWaitingNotice, Qt::QueuedConnection);
    }
}

void ReceiveForm::showWaitingNotice()
{
    if (!m_router->ReceiveReady()) {
        QWidget *modal = QApplication::activeModalWidget();
        ShowMessage(modal ? modal : this, kTitleMessageWaiting,
                    QStringLiteral("Message Waiting, return to main menu to receive"));
    }
    m_noticePending = false;
}

void ReceiveForm::hideFromTray()
{
    // Without a notification area a hidden window could never come back.
    if (m_tray && m_tray->isShown() && SystemTray::Available())
        hide();
    else
        showMinimized();
}

void ReceiveForm::Command1_Click()
{
    hideFromTray();
}

void ReceiveForm::Form_Activate()
{
    // A window activated while a modal dialog is still up (a notice over the
    // About box, say) does not end the wait.
    if (m_modalDepth > 0 || m_unloaded)
        return;
    m_router->setReceiveReady(true);
    m_router->ProcessQueue();
}

void ReceiveForm::modalDialogClosed()
{
    --m_modalDepth;
    // The activation that follows a modal dialog does not come on every
    // desktop (or not at all when hidden in the meantime); what waited is
    // shown now either way.
    Form_Activate();
}

void ReceiveForm::progopmn_Click()
{
    m_router->setReceiveReady(false);
    ++m_modalDepth;
    {
        OptProg dialog(m_store, m_settings, nullptr);
        dialog.exec();
    }
    StartListeners();
    modalDialogClosed();
}

void ReceiveForm::aboutnm_Click()
{
    m_router->setReceiveReady(false);
    ++m_modalDepth;
    ShowAboutBox(this, QStringLiteral("Quillbox"), m_store);
    modalDialogClosed();
}

void ReceiveForm::exitmn_Click()
{
    Form_Unload();
    hide();
    m_router->closeAllWindows();
    emit programEnded();
}

void ReceiveForm::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    SavePortList(m_store, m_settings.portList);
    SaveSoundOption(m_store, m_settings.PlayIncomingSound);
    StoreWindowPosition(this, m_store, kPositionPrefix);
    if (!m_store.flush())
        ReportSaveFailure(this, m_store.fileName());
    if (m_tray)
        m_tray->RemoveTrayIcon();
    for (Listener *listener : std::exchange(m_listeners, {})) {
        listener->close();
        listener->deleteLater();
    }
}

bool ReceiveForm::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QMainWindow::event(event);
}

void ReceiveForm::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    if (m_router->openWindowCount() == 0)
        emit programEnded();
}
