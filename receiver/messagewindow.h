#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
struct ReceiverSettings;

// The window that shows one sender's messages (a sender is the pair IP
// address and name), oldest first. Not modal; many may be open at once.
class MessageWindow : public QWidget
{
    Q_OBJECT
public:
    // Texts one window holds: the one on display and those waiting behind it.
    static constexpr int kMaxMessages = 256;
    // Characters one window holds, so that 65 windows of 256 texts of the
    // largest size cannot take a gigabyte; ordinary texts never come near.
    static constexpr qsizetype kMaxHeldCharacters = qsizetype(1024) * 1024;

    explicit MessageWindow(const ReceiverSettings &settings, QWidget *parent = nullptr);
    ~MessageWindow() override;

    // Set before the window is shown.
    qint16 dialognb = 0;
    QString username;
    QString userip;
    QString messagetemp;
    qint32 userport = 0;
    qint32 userreplyport = -1;

    // Shows the window with messagetemp as its first text.
    void showFirstMessage();
    // A further message of the same sender.
    void addMessage(qint16 dialog2apply, const QString &newstrdata, qint32 newuserport,
                    qint32 newuserreplyport);

    void onReadNextClicked();
    void onReplyClicked();
    void onOkClicked();
    // The outcome of a reply handed on by replyRequested(): 0 when the
    // sending program took it. The window closes then, unless more wait.
    void onReplyFinished(qint16 result);
    // "Reply" is held disabled while a handoff runs.
    void setReplyEnabled(bool enabled);

    const QStringList &messages() const { return m_texts; }
    QString senderLine() const;

signals:
    // "Reply" pressed: the sender to answer and the port to answer on.
    void replyRequested(const QString &name, const QString &ip, qint32 port);
    // The window is closing and its slot is free.
    void unloaded(qint16 slot);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void placeBySlot();
    void updateSenderLabel();
    void showCurrentMessage();
    void updateReadNext();
    void beep();
    void requestActivation();
    void activate();

    const ReceiverSettings &m_settings;
    QStringList m_texts;
    qsizetype m_heldCharacters = 0;
    QLabel *m_senderLabel;
    QPlainTextEdit *m_textView;
    QPushButton *m_readNext;
    QPushButton *m_reply;
    bool m_unloaded = false;
};
