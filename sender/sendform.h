#pragma once

#include "replyintake.h"

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

class QComboBox;
class QPlainTextEdit;
class QPushButton;
class LocalEndpoint;
class MessageSender;
class ReceiveString;
class SettingsStore;
struct SenderSettings;

// The caption by which other programs of the user find Quillpost's window.
inline const QString kSendFormCaption = QStringLiteral("Send Message");

// Quillpost's main window: the recipient box, the message field, Send and
// Stop, and the menus that open every other window of the program. It runs
// the program's start-up and shut-down steps and answers on the local
// endpoint named after its caption.
class SendForm : public QMainWindow
{
    Q_OBJECT
public:
    // The texts of recently started sends (position 0 always empty).
    static constexpr int kMsgHistoryMax = 10;
    // How long after a reply handoff the window comes forward.
    static constexpr int kTimerSwIntervalMs = 500;

    SendForm(SettingsStore &store, SenderSettings &settings, QWidget *parent = nullptr);
    ~SendForm() override;

    // The recipient box rebuilt from the user list, entry index selected.
    void FillUserCombo(int index);

    const QStringList &MsgHistory() const { return m_msgHistory; }
    int MsgHistoryPos() const { return m_msgHistoryPos; }
    bool SendByEnter() const { return m_sendByEnter; }
    // True while this window is the active one among the program's own
    // windows; false from start until it is first activated.
    bool SendFormActive() const { return m_sendFormActive; }
    bool ReplyPending() const { return m_replyPending; }
    // The person a reply record named (ReplyToName, ReplyToIp, ReplyToPort,
    // ReplyToIndex).
    const ReplyTarget &ReplyTo() const { return m_replyTo; }
    LocalEndpoint *Endpoint() const { return m_endpoint; }
    MessageSender *Winsock1() const { return m_winsock; }
    QTimer *TimerSW() { return &m_timerSw; }

    void Command1_Click();
    void StopSend_Click();
    void adduser_Click();
    void exitmn_Click(int index);
    void progopmn_Click(int index);
    void aboutmn_Click(int index);
    void TimerSW_Timer();

    // A record read by the reply intake: checked, and applied at once when
    // this window is the active one, else when it is next activated.
    void HandleReplyRecord(const QString &text);
    // Selects (or adds) the pending reply target in the recipient box and
    // brings the window forward a moment later.
    void SelectReplyUser();

signals:
    // The window became the active one among the program's windows with a
    // reply target waiting to be applied.
    void replyTargetDue();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildWindow();
    void BuildMenus();
    void Form_Load();
    void Form_Unload();
    void Form_Activate();
    void Form_Deactivate();
    void Text1_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void AddToHistory(const QString &text);
    void EndSend();

    void Winsock1_Connect();
    void Winsock1_SendComplete();
    void Winsock1_Error(const QString &description);

    SettingsStore &m_store;
    SenderSettings &m_settings;

    QComboBox *m_combo1 = nullptr;
    QPlainTextEdit *m_text1 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_stopSend = nullptr;
    QPushButton *m_adduser = nullptr;
    QTimer m_timerSw;
    MessageSender *m_winsock = nullptr;
    LocalEndpoint *m_endpoint = nullptr;
    ReceiveString *m_receiveString = nullptr;

    QString m_sendToName;
    QString m_sendToIp;
    bool m_sendByEnter = false;
    bool m_sendFormActive = false;
    bool m_replyPending = false;
    ReplyTarget m_replyTo;
    bool m_shownOnce = false;
    QStringList m_msgHistory;
    int m_msgHistoryPos = 0;
    bool m_unloaded = false;
};
