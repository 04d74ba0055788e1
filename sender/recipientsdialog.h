#pragma once

#include "messagefanout.h"

#include <QDialog>

class QListWidget;
class QPushButton;
class SettingsStore;

// Chooses several recipients for one message: users of the list and saved
// groups, with the usual selection gestures (Ctrl+click, Shift+click,
// Shift+arrows, Ctrl+Space, Ctrl+A). "Save as Group..." keeps the selected
// users under a name; "Delete Group" removes the selected groups. Both write
// the groups to the store at once.
class RecipientsDialog : public QDialog
{
    Q_OBJECT
public:
    RecipientsDialog(SenderSettings &settings, SettingsStore &store, QWidget *owner);

    // After "Send": what the selection names, each address once, groups
    // first, in list order.
    QList<Recipient> recipients() const;
    // The single user chosen when the selection is exactly one user (not a
    // group): that user's number in the list, else 0.
    int singleUser() const;

    void onSaveGroupClicked();
    void onDeleteGroupClicked();

private:
    void fill();
    void saveGroups();
    void updateButtons();

    SenderSettings &m_settings;
    SettingsStore &m_store;
    QListWidget *m_list = nullptr;
    QPushButton *m_sendButton = nullptr;
    QPushButton *m_saveGroupButton = nullptr;
    QPushButton *m_deleteGroupButton = nullptr;
};
