#pragma once

#include "message.h"
#include "messagerouter.h"

#include <QDeadlineTimer>
#include <QEvent>
#include <QStringList>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class MessageTextView;
class ReplyService;
enum class ReplyOutcome;
class QPushButton;
struct ReceiverSettings;

// The window that shows one sender's messages (a sender is the pair IP
// address and name), oldest first. Not modal; many may be open at once.
class MessageWindow : public QWidget, public MessageView
{
    Q_OBJECT
public:
    // Texts one window holds: the one on display and those waiting behind it.
    static constexpr int kMaxMessages = 256;
    // Characters one window holds, so that 65 windows of 256 texts of the
    // largest size cannot take a gigabyte; ordinary texts never come near.
    static constexpr qsizetype kMaxHeldCharacters = qsizetype(1024) * 1024;
    // For this long after the window appears and after each new text, Enter,
    // Space and Escape do nothing: keystrokes meant for the program the user
    // was typing in never close it or press its buttons. Clicks work at once.
    static constexpr int kKeyGuardMs = 1000;

    explicit MessageWindow(const ReceiverSettings &settings, QWidget *parent = nullptr);
    ~MessageWindow() override;

    // Does ahead, while the window is hidden, what showing it would do
    // anyway (styles, layout), so that showFirst() only sets texts and shows.
    void prepare();
    // Shows the window in the router's slot with the sender's first message;
    // with visible false it takes the message but stays hidden until shown
    // (the user opens the message's notification).
    void showFirst(int slot, const Message &first, bool visible = true);

    // MessageView: the window of one sender; a further message of it.
    bool showsSender(const Message &message) const override { return m_sender.sameSender(message); }
    void addMessage(const Message &message) override;

    int slot() const { return m_slot; }
    // The sender's name, address and latest ports (its text is not kept).
    const Message &sender() const { return m_sender; }
    const QStringList &messages() const { return m_texts; }
    // Texts of this sender that the limits kept out of the window.
    QString senderLine() const;

    void onReadNextClicked();
    void onReplyClicked();
    void onOkClicked();
    // "Reply" hands the sender to replies, the one service of the program.
    void setReplyService(ReplyService *replies);
    // The outcome of a reply asked by "Reply": its notice shown over this
    // window. The window closes once the sender has it, unless more texts wait.
    void onReplyFinished(ReplyOutcome outcome, const QString &notice);
    // "Reply" is held disabled while a handoff runs.
    void setReplyEnabled(bool enabled);
    // Tests choose how long the keys are held off.
    void setKeyGuardTime(int milliseconds) { m_keyGuardMs = milliseconds; }
    bool isKeyGuarded() const { return !m_keyGuard.hasExpired(); }

signals:
    // The window is closing and its slot is free.
    void closed(int slot);
    // What became of a recorded text (one whose historyId is not 0): read,
    // left unread when the window closed, or never shown.
    void fateChanged(qint64 historyId, MessageFate fate);

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QHBoxLayout *createButtons();
    void placeBySlot();
    void dropUpdatesPostedSoFar();
    // Ends dropping the updates posted before it.
    static QEvent::Type updatesPosted();
    void updateSenderLabel();
    void updateTrustLabel();
    void showCurrentMessage();
    void updateReadNext();
    void beep();
    void requestActivation();
    void activate();
    void reportFate(qint64 historyId, MessageFate fate);
    // The texts left when the window goes: the one on display counts as read
    // when the user closed the window.
    void reportClosing(bool byUser);
    void startKeyGuard();
    bool swallowsKey(QObject *watched, const QEvent *event) const;
    void useActiveColoursWhenInactive();

    const ReceiverSettings &m_settings;
    int m_slot = 0;
    Message m_sender;
    QStringList m_texts;
    // The history ids of m_texts, in step with it.
    QList<qint64> m_ids;
    // How far the sender of each of m_texts is known, in step with it.
    QList<QPair<SenderTrust, QByteArray>> m_trust;
    QLabel *m_trustLabel;
    int m_notShown = 0;
    QLabel *m_notShownLabel;
    qsizetype m_heldCharacters = 0;
    QLabel *m_senderLabel;
    MessageTextView *m_textView;
    QPushButton *m_readNext;
    QPushButton *m_reply;
    ReplyService *m_replies = nullptr;
    bool m_closed = false;
    // Updates of its widgets to drop, counted in events that end it.
    int m_updateDrops = 0;
    bool m_painted = false;
    int m_keyGuardMs = kKeyGuardMs;
    QDeadlineTimer m_keyGuard;
};
