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
class SenderOptionsDialog : public SettingsDialog
{
    Q_OBJECT
public:
    // The longest texts that may be typed into the boxes: a dotted address and
    // a port. A stored value is shown whole, however long.
    static constexpr int kIpBoxLength = 15;
    static constexpr int kPortBoxLength = 5;

    SenderOptionsDialog(SenderSettings &settings, SettingsStore &store, QWidget *owner);
    ~SenderOptionsDialog() override;

    void onLoadClicked() override;
    void onApplyClicked() override;
    void onResetClicked() override;

private:
    void writeSettings() override;

    SenderSettings &m_settings;
    QCheckBox *m_minimizeBox;
    QCheckBox *m_popupBox;
    QLineEdit *m_ipField;
    QLineEdit *m_portField;
};
