#pragma once

#include "sendersettings.h"

#include <QDialog>

class AddressProbe;
class QCheckBox;
class QLineEdit;
class PositionKeeper;
class QGridLayout;
class QHBoxLayout;
class QPushButton;
class SettingsStore;
class UserRows;

// What the user-list editor hands to the user dialog and reads back from it.
struct UserEdit
{
    // In: the user to show (a proposed new user, or the selected row).
    // Out, after a successful Save: the checked, normalised values.
    UserRecord user;
    // True when the dialog closed without a successful Save.
    bool cancelled = false;
};

// One user's name, IP address and port, for adding or changing a user. The
// dialog does not know which of the two it serves: the editor decides what
// user and cancelled mean when it has closed.
class UserDialog : public QDialog
{
    Q_OBJECT
public:
    // rows: the editor's own list, for the duplicate check.
    UserDialog(UserEdit &edit, const UserRows &rows, const SenderSettings &settings, SettingsStore &store,
               QWidget *owner);
    ~UserDialog() override;

    // The handlers, named after the controls they serve.
    QGridLayout *createFields();
    QHBoxLayout *createButtons();
    void load();
    void onSaveClicked();
    void onCancelClicked();
    void onAddNetworkUserClicked();
    // The key is dropped: the next encrypted exchange pins the one shown then.
    void onForgetKeyClicked();
    void showKey();
    // Checks that the address and port answer; the outcome comes as a notice.
    void onTestAddressClicked();
    AddressProbe *addressProbe() const { return m_probe; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool ipKeyPress(QKeyEvent *event);
    bool portKeyPress(QKeyEvent *event);
    // Ctrl+C / Ctrl+V on the whole text of a filtered field; true when handled.
    bool handleClipboardKeys(QLineEdit *field, QKeyEvent *event);
    // The address and the port of their fields, checked; a failed check
    // shows its box and moves the focus to the field.
    bool checkIp(QString &ip);
    bool checkPort(qint32 &port);

    UserEdit &m_edit;
    const UserRows &m_rows;
    const SenderSettings &m_settings;
    // The name user held at opening: the reference for the duplicate check.
    QString m_openingName;
    PositionKeeper *m_position;

    QLineEdit *m_nameField = nullptr;
    QLineEdit *m_ipField = nullptr;
    QLineEdit *m_portField = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QPushButton *m_addNetworkUserButton = nullptr;
    // The contact's key: its code, whether the user compared it, forgetting it.
    QLineEdit *m_keyField = nullptr;
    QCheckBox *m_keyVerified = nullptr;
    QPushButton *m_forgetKeyButton = nullptr;
    PinnedKey m_key;
    QPushButton *m_testButton = nullptr;
    AddressProbe *m_probe = nullptr;
    QString m_probedIp;
    qint32 m_probedPort = 0;
};

// How the dialog shows a port: a blank before the digits, or "-" and the
// digits for a negative number.
QString portDisplayText(qint32 port);

// Typing limits of the fields, from the field checks and the widest text each holds.
constexpr int kUserIpTypingLimit = 253; // the longest host name
constexpr int kUserPortTypingLimit = 5; // "65535"
