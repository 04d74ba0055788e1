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
    QMenu *menu() const { return m_menu; }
    QAction *showAction() const { return m_showAction; }
    QAction *hideAction() const { return m_hideAction; }
    QAction *startSenderAction() const { return m_startSenderAction; }
    QAction *historyAction() const { return m_historyAction; }
    QAction *closeAction() const { return m_closeAction; }
    // The tip names the unread messages the history holds, if any, and
    // below that the ports listened on and those that failed.
    void setUnreadCount(int count);
    void setPortStatus(const QString &status);
    QString toolTip() const;

signals:
    void hideRequested();
    // "Start Sender": the reply service starts Quillpost.
    void startSenderRequested();
    void closeRequested();
    void historyRequested();

private:
    void createActions();
    void createMenu();
    void updateMenu();
    void updateTip();

    QWidget *m_mainWindow;
    QSystemTrayIcon *m_icon;
    QMenu *m_menu;
    QAction *m_showAction = nullptr;
    QAction *m_hideAction = nullptr;
    QAction *m_startSenderAction = nullptr;
    QAction *m_historyAction = nullptr;
    QAction *m_closeAction = nullptr;
    int m_unread = 0;
    QString m_portStatus;
};
