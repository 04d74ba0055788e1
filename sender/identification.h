#pragma once

#include "settingsdialog.h"

class QLineEdit;
class SettingsStore;
struct SenderSettings;

// The identification dialog: the user name and reply port sent with every
// message. Apply takes each checked value over as soon as it passes;
// whichever way the dialog closes, the identity and its position are
// written to the store.
class Identification : public SettingsDialog
{
    Q_OBJECT
public:
    static constexpr int kPortBoxLength = 5;

    Identification(SenderSettings &settings, SettingsStore &store, QWidget *owner);
    ~Identification() override;

    void LoadOption_Click() override;
    void SaveOption_Click() override;
    void ResetDefault_Click() override;

private:
    void WriteSettings() override;

    SenderSettings &m_settings;
    QLineEdit *m_txtmyident;
    QLineEdit *m_txtmyportnb;
};
