#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class SettingsStore;
struct SenderSettings;

// The options dialog ("Options"): the IP address and port a new user record
// starts with, and what happens after a message is sent. Apply takes each
// checked value over as soon as it passes; whichever way the dialog closes,
// the options and its position are written to the store.
class OptProg : public QDialog
{
    Q_OBJECT
public:
    // The longest texts the boxes take: a dotted address and a port.
    static constexpr int kIpBoxLength = 15;
    static constexpr int kPortBoxLength = 5;

    OptProg(SenderSettings &settings, SettingsStore &store, QWidget *owner);
    ~OptProg() override;

    void LoadOption_Click();
    void SaveOption_Click();
    void ResetDefault_Click();
    void ReturnCmd_Click();

    void done(int result) override;

private:
    void Form_Unload();

    SenderSettings &m_settings;
    SettingsStore &m_store;
    QCheckBox *m_chkminimizedsend;
    QCheckBox *m_popupsend;
    QLineEdit *m_ipnumber;
    QLineEdit *m_portnb;
    bool m_unloaded = false;
};
