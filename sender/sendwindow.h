#pragma once

#include "messagefanout.h"
#include "replyintake.h"

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

class QComboBox;
class QPlainTextEdit;
class QPushButton;
class LocalEndpoint;
class ReplyRecordReceiver;
class SettingsStore;
struct SenderSettings;

// Quillpost's main window: the recipient box, the message field, Send and
// Stop, and the menus that open every other window of the program. It runs
// the program's start-up and shut-down steps and answers on the local
// endpoint named after its caption.
class SendWindow : public QMainWindow
{
    Q_OBJECT
public:
    // The texts of recently started sends (position 0 always empty).
    static constexpr int kHistorySize = 10;
    // How long after a reply handoff the window comes forward.
    static constexpr int kBringForwardDelayMs = 500;

    SendWindow(SettingsStore &store, SenderSettings &settings, QWidget *parent = nullptr);
    ~SendWindow() override;

    // The recipient box rebuilt from the user list, entry index selected.
    void fillRecipientBox(int index);

    const QStringList &messageHistory() const { return m_history; }
    int historyPosition() const { return m_historyPosition; }
    bool sentByEnter() const { return m_sentByEnter; }
    // True while this window is the active one among the program's own
    // windows; false from start until it is first activated.
    bool isSendWindowActive() const { return m_active; }
    bool isReplyPending() const { return m_replyPending; }
    // The person a reply record named (ReplyToName, ReplyToIp, ReplyToPort,
    // ReplyToIndex).
    const ReplyTarget &replyTarget() const { return m_replyTarget; }
    LocalEndpoint *endpoint() const { return m_endpoint; }
    MessageSender *messageSender() const { return m_sender; }
    MessageFanout *messageFanout() const { return m_fanout; }
    QTimer *bringForwardTimer() { return &m_bringForwardTimer; }

    void onSendClicked();
    void onStopClicked();
    void onSendSeveralClicked();
    // The message field's text to every recipient at once, then one summary box.
    void sendToSeveral(const QList<Recipient> &recipients);
    void onModifyUserClicked();
    void onExitTriggered();
    void onProgramOptionsTriggered();
    void onIdentificationTriggered();
    void onYourIpTriggered();
    void onAboutTriggered();
    void onBringForwardTimer();
    // Writes everything the program keeps (options, identification, user
    // list, window positions) at once: the session ends, or the program was
    // told to end.
    void saveSettings();

    // A record read by the reply intake: checked, and applied at once when
    // this window is the active one, else when it is next activated.
    void handleReplyRecord(const QString &text);
    // Selects (or adds) the pending reply target in the recipient box and
    // brings the window forward a moment later.
    void selectReplyUser();

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
    void buildWindow();
    void buildMenus();
    void load();
    void unload();
    void onActivated();
    void onDeactivated();
    void onMessageKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void addToHistory(const QString &text);
    void endSend();

    void onConnected();
    void onSendFinished(MessageSender::Outcome outcome, const QString &description);
    void onSendComplete();
    void onSeveralFinished();
    // Clears the field, shows the notice if the options say so, minimises if they say so.
    void reportDelivered(const QString &notice);
    void onSendFailed(const QString &description);

    SettingsStore &m_store;
    SenderSettings &m_settings;

    QComboBox *m_recipientBox = nullptr;
    QPlainTextEdit *m_messageField = nullptr;
    QPushButton *m_sendButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QPushButton *m_modifyUserButton = nullptr;
    QPushButton *m_severalButton = nullptr;
    QTimer m_bringForwardTimer;
    MessageSender *m_sender = nullptr;
    MessageFanout *m_fanout = nullptr;
    LocalEndpoint *m_endpoint = nullptr;
    ReplyRecordReceiver *m_replyReceiver = nullptr;

    QString m_recipientName;
    QString m_recipientIp;
    bool m_sentByEnter = false;
    bool m_active = false;
    bool m_replyPending = false;
    ReplyTarget m_replyTarget;
    bool m_shownOnce = false;
    QStringList m_history;
    int m_historyPosition = 0;
    bool m_unloaded = false;
};
