#pragma once

#include <QDialog>

class QLineEdit;
class SettingsStore;
struct SenderSettings;

// The identification dialog: the user name and reply port sent with every
// message. Apply takes each checked value over as soon as it passes;
// whichever way the dialog closes, the identity and its position are
// written to the store.
class Identification : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kPortBoxLength = 5;

    Identification(SenderSettings &settings, SettingsStore &store, QWidget *owner);
    ~Identification() override;

    void LoadOption_Click();
    void SaveOption_Click();
    void ResetDefault_Click();
    void ReturnCmd_Click();

    void done(int result) override;

private:
    void Form_Unload();

    SenderSettings &m_settings;
    SettingsStore &m_store;
    QLineEdit *m_txtmyident;
    QLineEdit *m_txtmyportnb;
    bool m_unloaded = false;
};
