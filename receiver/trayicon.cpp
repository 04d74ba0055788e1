#include "trayicon.h"

#include "windowactivation.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QStyle>
#include <QWidget>

namespace {
const QString kTip = QStringLiteral("Message Receiver");
}

TrayIcon::TrayIcon(QWidget *mainWindow, QObject *parent)
    : QObject(parent)
    , m_mainWindow(mainWindow)
    , m_icon(new QSystemTrayIcon(this))
    , m_menu(new QMenu)
{
    m_menu->setObjectName(QStringLiteral("pop_menu"));
    m_menu->setTitle(QStringLiteral("Popmenu"));
    const QStringList captions{QStringLiteral("Show"), QStringLiteral("Hide"), QStringLiteral("Start Sender"),
                               QString(), QStringLiteral("Close")};
    for (qsizetype i = 0; i < captions.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        QAction *item = captions[i].isEmpty() ? m_menu->addSeparator() : m_menu->addAction(captions[i]);
        item->setObjectName(QStringLiteral("pop_submenu%1").arg(index));
        if (!captions[i].isEmpty())
            connect(item, &QAction::triggered, this, [this, index] { onMenuItemTriggered(index); });
        m_items.append(item);
    }
    m_history = new QAction(QStringLiteral("History"), m_menu);
    m_history->setObjectName(QStringLiteral("pop_history"));
    m_menu->insertAction(m_items[3], m_history);
    connect(m_history, &QAction::triggered, this, &TrayIcon::historyRequested);
    connect(m_menu, &QMenu::aboutToShow, this, &TrayIcon::updateMenu);

    QIcon icon = mainWindow->windowIcon();
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
    m_icon->setIcon(icon);
    m_icon->setToolTip(kTip);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
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
    QString tip = m_unread > 0 ? kTip + QStringLiteral(" (%1 unread)").arg(m_unread) : kTip;
    if (!m_portStatus.isEmpty())
        tip += u'\n' + m_portStatus;
    m_icon->setToolTip(tip);
}

QAction *TrayIcon::menuItem(int index) const
{
    return (index >= 1 && index <= m_items.size()) ? m_items[index - 1] : nullptr;
}

void TrayIcon::updateMenu()
{
    m_items[0]->setEnabled(true);
    m_items[1]->setEnabled(m_mainWindow->isVisible());
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        bringToFront(m_mainWindow);
    else if (reason == QSystemTrayIcon::Context)
        updateMenu();
}

QString TrayIcon::senderProgramPath()
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("quillpost.exe");
#else
    const QString name = QStringLiteral("quillpost");
#endif
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(name);
}

void TrayIcon::onMenuItemTriggered(int index)
{
    switch (index) {
    case 1:
        bringToFront(m_mainWindow);
        break;
    case 2:
        emit hideRequested();
        break;
    case 3: {
        // Started directly, never through a shell; a missing program is
        // ignored here (the reply path reports it).
        const QString program = senderProgramPath();
        if (QFileInfo(program).isExecutable())
            QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
        break;
    }
    case 5:
        emit closeRequested();
        break;
    default:
        break;
    }
}
