#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
struct ReceiverSettings;

// The window that shows one sender's messages (a sender is the pair IP
// address and name), oldest first. Not modal; many may be open at once.
class Dialog1 : public QWidget
{
    Q_OBJECT
public:
    // Texts one window holds: the one on display and those waiting behind it.
    static constexpr int kMaxMessages = 256;
    // Characters one window holds, so that 65 windows of 256 texts of the
    // largest size cannot take a gigabyte; ordinary texts never come near.
    static constexpr qsizetype kMaxHeldCharacters = qsizetype(1024) * 1024;

    explicit Dialog1(const ReceiverSettings &settings, QWidget *parent = nullptr);
    ~Dialog1() override;

    // Set before the window is shown.
    qint16 dialognb = 0;
    QString username;
    QString userip;
    QString messagetemp;
    qint32 userport = 0;
    qint32 userreplyport = -1;

    // Shows the window with messagetemp as its first text.
    void Form_Load();
    // A further message of the same sender.
    void rfevent_AddNext(qint16 dialog2apply, const QString &newstrdata, qint32 newuserport,
                         qint32 newuserreplyport);

    void ReadNext_Click();
    void Reply2User_Click();
    void OKButton_Click();
    // The outcome of a reply handed on by replyRequested(): 0 when the
    // sending program took it. The window closes then, unless more wait.
    void ReplyFinished(qint16 result);
    // "Reply" is held disabled while a handoff runs.
    void setReplyEnabled(bool enabled);

    const QStringList &messages() const { return m_messagelist; }
    QString senderLine() const;

signals:
    // "Reply" pressed: the sender to answer and the port to answer on.
    void replyRequested(const QString &name, const QString &ip, qint32 port);
    // The window is closing and its slot is free.
    void unloaded(qint16 slot);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void PlaceBySlot();
    void UpdateSenderLabel();
    void ShowCurrentMessage();
    void UpdateReadNext();
    void Beep();
    void RequestActivation();
    void Activate();

    const ReceiverSettings &m_settings;
    QStringList m_messagelist;
    qsizetype m_heldCharacters = 0;
    QLabel *m_computer;
    QPlainTextEdit *m_txtMessage;
    QPushButton *m_readNext;
    QPushButton *m_reply;
    bool m_unloaded = false;
};
