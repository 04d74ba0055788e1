#pragma once

#include "sendersettings.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class SettingsStore;
class UserRows;

// What the user-list editor hands to the user dialog and reads back from it.
struct UserEdit
{
    // In: the user to show (a proposed new user, or the selected row).
    // Out, after a successful Save: the checked, normalised values.
    UserRecord EditedUser;
    // True when the dialog closed without a successful Save.
    bool EditCancelled = false;
};

// One user's name, IP address and port, for adding or changing a user. The
// dialog does not know which of the two it serves: the editor decides what
// EditedUser and EditCancelled mean when it has closed.
class Modify_or_add : public QDialog
{
    Q_OBJECT
public:
    // rows: the editor's own list, for the duplicate check.
    Modify_or_add(UserEdit &edit, const UserRows &rows, const SenderSettings &settings, SettingsStore &store,
                  QWidget *owner);
    ~Modify_or_add() override;

    // The handlers, named after the controls they serve.
    void Form_Load();
    void Form_Unload();
    void oksave_Click();
    void cancelsave_Click();
    void cmdAddNetworkUser_Click();

    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool userip_KeyPress(QKeyEvent *event);
    bool userport_KeyPress(QKeyEvent *event);
    // Ctrl+C / Ctrl+V on the whole text of a filtered field; true when handled.
    bool HandleClipboardKeys(QLineEdit *field, QKeyEvent *event);

    UserEdit &m_edit;
    const UserRows &m_rows;
    const SenderSettings &m_settings;
    SettingsStore &m_store;
    // The name EditedUser held at opening: the reference for the duplicate check.
    QString m_openingName;
    bool m_unloaded = false;

    QLineEdit *m_username = nullptr;
    QLineEdit *m_userip = nullptr;
    QLineEdit *m_userport = nullptr;
    QPushButton *m_oksave = nullptr;
    QPushButton *m_cancelsave = nullptr;
    QPushButton *m_cmdAddNetworkUser = nullptr;
};

// How the dialog shows a port: a blank before the digits, or "-" and the
// digits for a negative number.
QString PortDisplayText(qint32 port);

// Typing limits of the fields, from the field checks and the widest text each holds.
constexpr int kUserIpTypingLimit = 15;  // "255.255.255.255"
constexpr int kUserPortTypingLimit = 5; // "65535"
