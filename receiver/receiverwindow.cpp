#include "receiverwindow.h"

#include "aboutbox.h"
#include "conversions.h"
#include "fieldchecks.h"
#include "historywindow.h"
#include "messagebox.h"
#include "messagehistory.h"
#include "messageintake.h"
#include "messagerouter.h"
#include "portstatus.h"
#include "positionkeeper.h"
#include "receiveroptionsdialog.h"
#include "receiversettings.h"
#include "replyservice.h"
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
#include <QTimer>
#include <QVBoxLayout>

namespace {
const char *const kCaption = QT_TRANSLATE_NOOP("ReceiverWindow", "Message Receiver");
const QString kPositionPrefix;
constexpr int kWidth = 320;
constexpr int kHeight = 110;
} // namespace

ReceiverWindow::ReceiverWindow(SettingsStore &store, ReceiverSettings &settings,
                               ReceiverWindowOptions options, QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_settings(settings)
    , m_options(std::move(options))
    , m_intake(new MessageIntake(m_settings, m_options.listenAddress, m_options.historyPath, this))
{
    setObjectName(QStringLiteral("ReceiveForm"));
    setWindowTitle(tr(kCaption));
    // Also the notification-area icon.
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillbox.svg")));
    createMenus();
    createCentralWidget();
    connectIntake();
}

void ReceiverWindow::createMenus()
{
    const auto add = [this](QMenu *menu, const QString &caption, const QString &name,
                            void (ReceiverWindow::*slot)()) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
    };
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("mainnm1"));
    add(file, tr("&History..."), QStringLiteral("historymn"), &ReceiverWindow::onHistoryTriggered);
    file->addSeparator();
    add(file, tr("E&xit"), QStringLiteral("exitmn"), &ReceiverWindow::onExitTriggered);
    QMenu *option = menuBar()->addMenu(tr("&Option"));
    option->setObjectName(QStringLiteral("mainnm2"));
    add(option, tr("&Program Option..."), QStringLiteral("progopmn"),
        &ReceiverWindow::onProgramOptionsTriggered);
    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("mainnm3"));
    add(help, tr("&About..."), QStringLiteral("aboutnm"), &ReceiverWindow::onAboutTriggered);
}

void ReceiverWindow::createCentralWidget()
{
    auto *central = new QWidget(this);
    auto *hide = new QPushButton(tr("Hide"), central);
    hide->setObjectName(QStringLiteral("Command1"));
    connect(hide, &QPushButton::clicked, this, &ReceiverWindow::onHideClicked);
    m_portStatus = createPortStatusLabel(central);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(m_portStatus);
    layout->addWidget(hide);
    setCentralWidget(central);
    resize(kWidth, kHeight);
}

void ReceiverWindow::connectIntake()
{
    MessageHistory *history = &m_intake->history();
    connect(history, &MessageHistory::unreadCountChanged, this, [this](int count) {
        if (m_tray)
            m_tray->setUnreadCount(count);
    });
    // Messages the history could not keep (a full disk, a damaged file) are
    // still shown in their windows; the user learns that the history lacks them.
    connect(history, &MessageHistory::dropped, this, [this, history](qint64 total) {
        showNotice(this, kTitleWarning,
                   tr("The message history could not keep %1 messages: ").arg(total) + history->errorString(),
                   NoticeText::Replace);
    });
    connect(m_intake, &MessageIntake::messageHandled, this, &ReceiverWindow::messageHandled);
    // Queued at once by the intake; a notice already open stands for every
    // message that waits.
    connect(m_intake, &MessageIntake::messageWaiting, this, [this] {
        QWidget *modal = QApplication::activeModalWidget();
        showNotice(modal ? modal : this, kTitleMessageWaiting,
                   tr("Message Waiting, return to main menu to receive"));
    });
    // A notification's "Reply" whose message window is gone reports here.
    connect(&m_intake->replies(), &ReplyService::finished, this,
            [this](QObject *requester, ReplyOutcome, const QString &notice) {
                if (requester == m_intake && !notice.isEmpty())
                    showNotice(this, kTitleWarning, notice);
            });
    connect(&router(), &MessageRouter::lastWindowClosed, this, [this] {
        if (m_unloaded)
            emit programEnded();
    });
}

ReceiverWindow::~ReceiverWindow()
{
    delete m_historyWindow.data();
    // Before the window's own parts go: the message windows closing report
    // back through the intake.
    delete m_intake;
}

void ReceiverWindow::start(const QString &commandLine)
{
    router().setReceiveReady(true);
    createTrayIcon();

    if (m_options.loadSettings)
        loadReceiverSettings(m_store, m_settings);
    m_intake->applyHistoryOptions();
    m_tray->setUnreadCount(history().unreadCount());
    // Listening comes first: nothing the settings file does may hold up a
    // sender.
    startListeners();

    placeWindow(this, m_store, kPositionPrefix);
    storeWindowPosition(this, m_store, kPositionPrefix);
    if (!saveReceiverSettings(m_store, m_settings, false))
        reportSaveFailure(this, m_store.fileName());
    if (!history().isOpen())
        showNotice(this, kTitleWarning, tr("The message history cannot be kept: ") + history().errorString());
    show();
    if (isHiddenStartSwitch(commandLine))
        onHideClicked();
    m_intake->scheduleSpareWindow(true);
    if (m_options.desktopNotifications)
        m_intake->startNotifier();
    if (m_options.presence)
        m_intake->startPresence(QDBusConnection::systemBus());
    // The key is read (or made) once the window is up: it costs a few
    // milliseconds, and until then an encrypted sender is refused and told so.
    QTimer::singleShot(0, m_intake, &MessageIntake::startEncryption);
}

void ReceiverWindow::createTrayIcon()
{
    m_tray = new TrayIcon(this, this);
    connect(m_tray, &TrayIcon::hideRequested, this, [this] {
        if (router().isReceiveReady() && m_modalDepth == 0)
            onHideClicked();
    });
    connect(m_tray, &TrayIcon::startSenderRequested, &m_intake->replies(), &ReplyService::startSender);
    connect(m_tray, &TrayIcon::closeRequested, this, &QWidget::close);
    connect(m_tray, &TrayIcon::historyRequested, this, &ReceiverWindow::onHistoryTriggered);
    if (m_options.trayIcon)
        m_tray->addIcon();
}

void ReceiverWindow::startListeners()
{
    // Every port is open before any error is shown, so that the boxes come
    // in the order of the ports.
    const QList<PortState> states = m_intake->listen();
    const QString status = portStatusText(m_intake->ports());
    m_portStatus->setText(status);
    if (m_tray)
        m_tray->setPortStatus(status);
    // The window's height follows the lines, at its width.
    const int lines = centralWidget()->layout()->totalHeightForWidth(width());
    resize(width(), std::max(kHeight, menuBar()->sizeHint().height() + lines));
    showPortErrors(this, states);
}

void ReceiverWindow::onHideClicked()
{
    // Without a notification area a hidden window could never come back.
    if (m_tray && m_tray->isShown() && TrayIcon::isAvailable())
        hide();
    else
        showMinimized();
}

void ReceiverWindow::onActivated()
{
    // A window activated while a modal dialog is still up (a notice over the
    // About box, say) does not end the wait.
    if (m_modalDepth > 0 || m_unloaded)
        return;
    router().setReceiveReady(true);
    router().processQueue();
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
    router().setReceiveReady(false);
    ++m_modalDepth;
    {
        ReceiverOptionsDialog dialog(m_store, m_settings, nullptr);
        connect(&dialog, &ReceiverOptionsDialog::clearHistoryRequested, &history(), &MessageHistory::clear);
        dialog.exec();
    }
    m_intake->applyHistoryOptions();
    // Windows kept back for notifications come up when those are switched off.
    if (m_settings.messageAlert != MessageAlert::Notification)
        m_intake->showHiddenWindows();
    startListeners();
    modalDialogClosed();
}

void ReceiverWindow::onAboutTriggered()
{
    router().setReceiveReady(false);
    ++m_modalDepth;
    showAboutBox(this, QStringLiteral("Quillbox"), m_store);
    modalDialogClosed();
}

void ReceiverWindow::onExitTriggered()
{
    unload();
    hide();
    router().closeAllWindows();
    emit programEnded();
}

void ReceiverWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_intake->stopSpareWindows();
    saveSettings();
    if (m_tray)
        m_tray->removeIcon();
    // What was read already still comes through the event loop and is shown.
    m_intake->shutdownNetwork();
}

void ReceiverWindow::saveSettings()
{
    const bool saved = saveReceiverSettings(m_store, m_settings, true);
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
    m_intake->showHiddenWindows();
    event->accept();
    if (router().openWindowCount() == 0)
        emit programEnded();
}

void ReceiverWindow::onHistoryTriggered()
{
    if (!m_historyWindow) {
        m_historyWindow = new HistoryWindow(history());
        m_historyWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_historyWindow->setReplyService(&m_intake->replies());
    }
    m_historyWindow->show();
    bringToFront(m_historyWindow);
}
