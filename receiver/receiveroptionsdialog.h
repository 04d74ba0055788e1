#pragma once

#include "settingsdialog.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QSpinBox;
class SettingsStore;
struct HistoryOptions;
struct ReceiverSettings;

// The options dialog: the listening ports, the incoming-message sound and
// the message history, and how a message shows (window, notification or
// both).
// Changes reach the settings on "Apply" and the store when the dialog
// closes, whichever way it closes.
class ReceiverOptionsDialog : public SettingsDialog
{
    Q_OBJECT
public:
    ReceiverOptionsDialog(SettingsStore &store, ReceiverSettings &settings, QWidget *parent = nullptr);
    ~ReceiverOptionsDialog() override;

    void onAddClicked();
    void onRemoveClicked();
    void onRemoveAllClicked();
    void onLoadClicked() override;
    void onApplyClicked() override;
    void onResetClicked() override;
    void onClearHistoryClicked();

signals:
    // "Clear History", confirmed by the user.
    void clearHistoryRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QGroupBox *createMiscGroup();
    QGroupBox *createNetworkGroup();
    QGroupBox *createHistoryGroup();
    void writeSettings() override;
    void showHistoryOptions(const HistoryOptions &history);

    ReceiverSettings &m_settings;
    QCheckBox *m_sound;
    QCheckBox *m_announce;
    QComboBox *m_alert;
    QListWidget *m_portList;
    QLineEdit *m_portField;
    QCheckBox *m_keepHistory;
    QSpinBox *m_historyMessages;
    QSpinBox *m_historyMegabytes;
};
