#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QListWidget;
class SettingsStore;
struct ReceiverSettings;

// The options dialog: the listening ports and the incoming-message sound.
// Changes reach the settings on "Apply" and the store when the dialog
// closes, whichever way it closes.
class OptProg : public QDialog
{
    Q_OBJECT
public:
    OptProg(SettingsStore &store, ReceiverSettings &settings, QWidget *parent = nullptr);
    ~OptProg() override;

    void addnew_Click();
    void remove_Click();
    void removeall_Click();
    void LoadOption_Click();
    void SaveOption_Click();
    void ResetDefault_Click();
    void ReturnCmd_Click();

    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Fill();
    void Form_Unload();

    SettingsStore &m_store;
    ReceiverSettings &m_settings;
    QCheckBox *m_sound;
    QListWidget *m_list;
    QLineEdit *m_portnb;
    bool m_unloaded = false;
};
