#pragma once

#include "settingsdialog.h"

class QGridLayout;
class QLineEdit;
class SettingsStore;
struct SenderSettings;

// The identification dialog: the user name and reply port sent with every
// message, and the verification code of the user's key (made here on first
// need). Apply takes each checked value over as soon as it passes;
// whichever way the dialog closes, the identity and its position are
// written to the store.
class IdentificationDialog : public SettingsDialog
{
    Q_OBJECT
public:
    static constexpr int kPortBoxLength = 5;

    // The user's key is at identityPath (empty: its usual place).
    IdentificationDialog(SenderSettings &settings, SettingsStore &store, QWidget *owner,
                         const QString &identityPath = {});
    ~IdentificationDialog() override;

    void onLoadClicked() override;
    void onApplyClicked() override;
    void onResetClicked() override;

private:
    void writeSettings() override;
    void createKeyRow(QGridLayout *grid, int row);

    SenderSettings &m_settings;
    const QString m_identityPath;
    QLineEdit *m_nameField;
    QLineEdit *m_portField;
};
