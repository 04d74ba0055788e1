#pragma once

#include "settingsdialog.h"

class QCheckBox;
class QLineEdit;
class SettingsStore;
struct SenderSettings;

// The options dialog ("Options"): the IP address and port a new user record
// starts with, and what happens after a message is sent. Apply takes each
// checked value over as soon as it passes; whichever way the dialog closes,
// the options and its position are written to the store.
class OptProg : public SettingsDialog
{
    Q_OBJECT
public:
    // The longest texts the boxes take: a dotted address and a port.
    static constexpr int kIpBoxLength = 15;
    static constexpr int kPortBoxLength = 5;

    OptProg(SenderSettings &settings, SettingsStore &store, QWidget *owner);
    ~OptProg() override;

    void LoadOption_Click() override;
    void SaveOption_Click() override;
    void ResetDefault_Click() override;

private:
    void WriteSettings() override;

    SenderSettings &m_settings;
    QCheckBox *m_chkminimizedsend;
    QCheckBox *m_popupsend;
    QLineEdit *m_ipnumber;
    QLineEdit *m_portnb;
};
