#pragma once

#include "settingsdialog.h"

class QLineEdit;
class SettingsStore;
struct SenderSettings;

// The identification dialog: the user name and reply port sent with every
// message. Apply takes each checked value over as soon as it passes;
// whichever way the dialog closes, the identity and its position are
// written to the store.
class IdentificationDialog : public SettingsDialog
{
    Q_OBJECT
public:
    static constexpr int kPortBoxLength = 5;

    IdentificationDialog(SenderSettings &settings, SettingsStore &store, QWidget *owner);
    ~IdentificationDialog() override;

    void onLoadClicked() override;
    void onApplyClicked() override;
    void onResetClicked() override;

private:
    void writeSettings() override;

    SenderSettings &m_settings;
    QLineEdit *m_nameField;
    QLineEdit *m_portField;
};
