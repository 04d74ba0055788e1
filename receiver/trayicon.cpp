#include "trayicon.h"

#include "windowactivation.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QStyle>
#include <QWidget>

namespace {
// The main window's caption.
const char *const kTip = QT_TRANSLATE_NOOP("ReceiverWindow", "Message Receiver");

QString tipCaption()
{
    return QCoreApplication::translate("ReceiverWindow", kTip);
}
} // namespace

TrayIcon::TrayIcon(QWidget *mainWindow, QObject *parent)
    : QObject(parent)
    , m_mainWindow(mainWindow)
    , m_icon(new QSystemTrayIcon(this))
    , m_menu(new QMenu)
{
    createActions();
    createMenu();

    QIcon icon = mainWindow->windowIcon();
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
    m_icon->setIcon(icon);
    m_icon->setToolTip(tipCaption());
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
}

void TrayIcon::createActions()
{
    // The object names keep the menu's first numbering.
    const auto action = [this](const QString &caption, const QString &name) {
        auto *item = new QAction(caption, m_menu);
        item->setObjectName(name);
        return item;
    };
    m_showAction = action(tr("Show"), QStringLiteral("pop_submenu1"));
    connect(m_showAction, &QAction::triggered, this, [this] { bringToFront(m_mainWindow); });
    m_hideAction = action(tr("Hide"), QStringLiteral("pop_submenu2"));
    connect(m_hideAction, &QAction::triggered, this, &TrayIcon::hideRequested);
    m_startSenderAction = action(tr("Start Sender"), QStringLiteral("pop_submenu3"));
    connect(m_startSenderAction, &QAction::triggered, this, &TrayIcon::startSenderRequested);
    m_historyAction = action(tr("History"), QStringLiteral("pop_history"));
    connect(m_historyAction, &QAction::triggered, this, &TrayIcon::historyRequested);
    m_closeAction = action(tr("Close"), QStringLiteral("pop_submenu5"));
    connect(m_closeAction, &QAction::triggered, this, &TrayIcon::closeRequested);
}

void TrayIcon::createMenu()
{
    m_menu->setObjectName(QStringLiteral("pop_menu"));
    m_menu->setTitle(tr("Popmenu"));
    m_menu->addActions({m_showAction, m_hideAction, m_startSenderAction, m_historyAction});
    m_menu->addSeparator()->setObjectName(QStringLiteral("pop_submenu4"));
    m_menu->addAction(m_closeAction);
    connect(m_menu, &QMenu::aboutToShow, this, &TrayIcon::updateMenu);
}

TrayIcon::~TrayIcon()
{
    removeIcon();
    delete m_menu;
}

bool TrayIcon::isAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::addIcon()
{
    m_icon->show();
}

void TrayIcon::removeIcon()
{
    m_icon->hide();
}

bool TrayIcon::isShown() const
{
    return m_icon->isVisible();
}

void TrayIcon::setUnreadCount(int count)
{
    m_unread = count;
    updateTip();
}

void TrayIcon::setPortStatus(const QString &status)
{
    m_portStatus = status;
    updateTip();
}

QString TrayIcon::toolTip() const
{
    return m_icon->toolTip();
}

void TrayIcon::updateTip()
{
    QString tip =
        m_unread > 0 ? tr("%1 (%2 unread)").arg(tipCaption(), QString::number(m_unread)) : tipCaption();
    if (!m_portStatus.isEmpty())
        tip += u'\n' + m_portStatus;
    m_icon->setToolTip(tip);
}

void TrayIcon::updateMenu()
{
    m_showAction->setEnabled(true);
    m_hideAction->setEnabled(m_mainWindow->isVisible());
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        bringToFront(m_mainWindow);
    else if (reason == QSystemTrayIcon::Context)
        updateMenu();
}
