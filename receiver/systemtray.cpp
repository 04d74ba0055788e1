#include "systemtray.h"

#include "setactivewnd.h"

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

SystemTray::SystemTray(QWidget *mainWindow, QObject *parent)
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
            connect(item, &QAction::triggered, this, [this, index] { pop_submenu_Click(index); });
        m_items.append(item);
    }
    connect(m_menu, &QMenu::aboutToShow, this, &SystemTray::updateMenu);

    QIcon icon = mainWindow->windowIcon();
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
    m_icon->setIcon(icon);
    m_icon->setToolTip(kTip);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, &SystemTray::TrayMouseEvent);
}

SystemTray::~SystemTray()
{
    RemoveTrayIcon();
    delete m_menu;
}

bool SystemTray::Available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTray::AddTrayIcon()
{
    m_icon->show();
}

void SystemTray::RemoveTrayIcon()
{
    m_icon->hide();
}

bool SystemTray::isShown() const
{
    return m_icon->isVisible();
}

QAction *SystemTray::pop_submenu(int index) const
{
    return (index >= 1 && index <= m_items.size()) ? m_items[index - 1] : nullptr;
}

void SystemTray::updateMenu()
{
    m_items[0]->setEnabled(true);
    m_items[1]->setEnabled(m_mainWindow->isVisible());
}

void SystemTray::TrayMouseEvent(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        BringToFront(m_mainWindow);
    else if (reason == QSystemTrayIcon::Context)
        updateMenu();
}

QString SystemTray::SenderProgramPath()
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("quillpost.exe");
#else
    const QString name = QStringLiteral("quillpost");
#endif
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(name);
}

void SystemTray::pop_submenu_Click(int index)
{
    switch (index) {
    case 1:
        BringToFront(m_mainWindow);
        break;
    case 2:
        emit hideRequested();
        break;
    case 3: {
        // Started directly, never through a shell; a missing program is
        // ignored here (the reply path reports it).
        const QString program = SenderProgramPath();
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
