#pragma once

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QAction;
class QMenu;
class QWidget;

// The notification-area icon of the main window and its pop-up menu:
// "Show", "Hide", "Start Sender", "History", a separator and "Close".
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TrayIcon(QWidget *mainWindow, QObject *parent = nullptr);
    ~TrayIcon() override;

    // False where the desktop has no notification area: the main window then
    // minimises instead of hiding, so it can always be reached.
    static bool isAvailable();

    void addIcon();
    void removeIcon();
    bool isShown() const;

    // Acts on a mouse action over the icon: only the left click (and the
    // menu's own opening) does anything.
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    // The pop-up menu's items, 1 to 5.
    void onMenuItemTriggered(int index);
    QMenu *menu() const { return m_menu; }
    QAction *menuItem(int index) const;
    // "History" in the menu, above "Close".
    QAction *historyItem() const { return m_history; }
    // The tip names the unread messages the history holds, if any, and
    // below that the ports listened on and those that failed.
    void setUnreadCount(int count);
    void setPortStatus(const QString &status);
    QString toolTip() const;

    // The sending program started by "Start Sender" (next to this one).
    static QString senderProgramPath();

signals:
    void hideRequested();
    void closeRequested();
    void historyRequested();

private:
    void updateMenu();
    void updateTip();

    QWidget *m_mainWindow;
    QSystemTrayIcon *m_icon;
    QMenu *m_menu;
    QList<QAction *> m_items;
    QAction *m_history;
    int m_unread = 0;
    QString m_portStatus;
};
