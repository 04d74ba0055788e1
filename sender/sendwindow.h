#pragma once

#include "sendcontroller.h"

#include <QMainWindow>
#include <functional>

class MessageField;
class QMenu;
class QPushButton;
class QVBoxLayout;
class RecipientBox;
class ReplyIntake;
class PresenceBrowser;
class SettingsStore;
struct SenderSettings;

// Quillpost's main window: the recipient box, the message field, Send and
// Stop, and the menus that open every other window of the program. It runs
// the program's start-up and shut-down steps and shows what its sending
// (SendController) and its reply intake (ReplyIntake) report.
class SendWindow : public QMainWindow
{
    Q_OBJECT
public:
    SendWindow(SettingsStore &store, SenderSettings &settings, QWidget *parent = nullptr);
    ~SendWindow() override;

    SendController *sendController() const { return m_sending; }
    ReplyIntake *replyIntake() const { return m_intake; }
    // The people online (null until the first turn of the event loop).
    PresenceBrowser *people() const { return m_people; }
    bool sentByEnter() const { return m_sentByEnter; }
    // True while this window is the active one among the program's own
    // windows; false from start until it is first activated.
    bool isSendWindowActive() const;

    // Writes everything the program keeps (options, identification, user
    // list, window positions) at once: the session ends, or the program was
    // told to end.
    void saveSettings();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // The recipient box rebuilt from the list, entry index selected, the
    // users online marked.
    void fillRecipients(int index);
    void connectReplyIntake();
    void createMessageArea();
    void createButtons(QWidget *central, QVBoxLayout *layout);
    void createMenus();
    void addMenuItem(QMenu *menu, const QString &text, const QString &name,
                     const std::function<void()> &handler);
    void load();
    void unload();
    void onSendClicked();
    void onSendSeveralClicked();
    void onSendFinished(SendController::Result result, const QString &notice);
    void endSend();

    SettingsStore &m_store;
    SenderSettings &m_settings;

    RecipientBox *m_recipientBox = nullptr;
    MessageField *m_messageField = nullptr;
    QPushButton *m_sendButton = nullptr;
    SendController *m_sending = nullptr;
    ReplyIntake *m_intake = nullptr;
    PresenceBrowser *m_people = nullptr;

    bool m_sentByEnter = false;
    bool m_shownOnce = false;
    bool m_unloaded = false;
};
