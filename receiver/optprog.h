#pragma once

#include "settingsdialog.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class SettingsStore;
struct ReceiverSettings;

// The options dialog: the listening ports and the incoming-message sound.
// Changes reach the settings on "Apply" and the store when the dialog
// closes, whichever way it closes.
class OptProg : public SettingsDialog
{
    Q_OBJECT
public:
    OptProg(SettingsStore &store, ReceiverSettings &settings, QWidget *parent = nullptr);
    ~OptProg() override;

    void addnew_Click();
    void remove_Click();
    void removeall_Click();
    void LoadOption_Click() override;
    void SaveOption_Click() override;
    void ResetDefault_Click() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void WriteSettings() override;

    ReceiverSettings &m_settings;
    QCheckBox *m_sound;
    QListWidget *m_list;
    QLineEdit *m_portnb;
};
