#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class MessageWindow;
class QWidget;

// The caption of Quillpost's main window, by which it is found.
inline const QString kSenderWindowCaption = QStringLiteral("Send Message");

// Hands the sender of a message to Quillpost on this machine, so that its
// user can answer: the reply record goes to the window captioned "Send
// Message"; when none answers, Quillpost is started from this program's
// folder and asked again every half second, for a bounded number of rounds.
// The rounds run on timers, so the program keeps receiving meanwhile.
class ReplyToSender : public QObject
{
    Q_OBJECT
public:
    // The pause that gives a freshly started Quillpost time to open its
    // window before it is asked again.
    static constexpr int kRoundWaitMs = 500;
    // A started Quillpost answers within a second or two; this many rounds
    // (twenty seconds) allow for a heavily loaded machine, after which a
    // program that starts but never opens its window is reported.
    static constexpr int kMaxRounds = 40;

    // Notices go over owner, which also owns this object.
    explicit ReplyToSender(QWidget *owner);

    // The program that is started when no window answers.
    void setSenderProgram(const QString &path) { m_senderProgram = path; }
    QString senderProgram() const { return m_senderProgram; }
    // Tests shorten the waits.
    void setRoundWait(int milliseconds) { m_roundWait.setInterval(milliseconds); }
    void setMaxRounds(int rounds) { m_maxRounds = rounds; }
    void setCopyDataTimeout(int milliseconds) { m_copyDataTimeoutMs = milliseconds; }

    bool isBusy() const { return m_busy; }
    // How often the sending program was started by the latest handoff.
    int startsMade() const { return m_starts; }

    // Starts handing over; finished() reports the outcome, possibly before
    // this returns. False, and nothing done, while a handoff is under way.
    bool start(const QString &name, const QString &ip, qint32 port);

signals:
    // The last sendCopyData result: 0 when the record was handed over.
    void finished(qint16 result);

private:
    void startSender();
    void roundDue();
    bool launch();
    void finish(qint16 result);
    void giveUp();

    QWidget *m_owner;
    QString m_senderProgram;
    QTimer m_roundWait;
    QString m_record;
    int m_maxRounds = kMaxRounds;
    int m_copyDataTimeoutMs;
    int m_starts = 0;
    bool m_busy = false;
};

// Wires a message window's "Reply" to a handoff of its own; "Reply" stays
// disabled while it runs, so no second one can overlap it.
ReplyToSender *attachReplyToSender(MessageWindow *window, const QString &senderProgram);
