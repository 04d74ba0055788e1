#pragma once

#include <QDialog>

class SettingsStore;
struct SenderSettings;

// The user-list editor: works on its own rows and replaces the user list on
// "Apply". It never writes the store's user list; the main window refills its
// recipient box after it closes.
class ModifyUser : public QDialog
{
    Q_OBJECT
public:
    ModifyUser(SenderSettings &settings, SettingsStore &store, QWidget *owner);
    ~ModifyUser() override;

private:
    SenderSettings &m_settings;
    SettingsStore &m_store;
};
