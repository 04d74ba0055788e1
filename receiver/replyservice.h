#pragma once

#include "replytosender.h"

#include <QObject>
#include <QString>

struct Message;

// The one way Quillbox replies: a message window's "Reply", a notification's
// "Reply", the History window's "Reply" and the tray's "Start Sender" all
// come here. It hands a sender to Quillpost, starting it when needed, and
// reports each outcome with the notice to show; the windows show it.
class ReplyService : public QObject
{
    Q_OBJECT
public:
    explicit ReplyService(QObject *parent = nullptr);

    // quillpost beside this program.
    static QString defaultSenderProgram();
    // The program started when no Quillpost window answers (tests point it
    // elsewhere). This and the waits below hold for requesters that ask
    // from then on.
    void setSenderProgram(const QString &path) { m_senderProgram = path; }
    QString senderProgram() const { return m_senderProgram; }
    // Tests shorten the waits.
    void setRoundWait(int milliseconds) { m_roundWaitMs = milliseconds; }
    void setMaxRounds(int rounds) { m_maxRounds = rounds; }
    void setRequestTimeout(int milliseconds) { m_requestTimeoutMs = milliseconds; }

    // The activation token for the next reply() only (from a notification's
    // action), so that Quillpost's window may come forward.
    void setNextActivationToken(const QString &token) { m_nextActivationToken = token; }

    // Hands the sender of message to Quillpost for requester, whose handoff
    // (a child of it) runs one at a time: null, and nothing done, while the
    // requester's previous one runs. finished() reports the outcome.
    ReplyToSender *reply(const Message &sender, QObject *requester);
    // "Start Sender": Quillpost started without a sender to answer; a missing
    // program is ignored here (a reply reports it).
    bool startSender() const;

signals:
    // notice: what requester should tell the user, empty once delivered.
    void finished(QObject *requester, ReplyOutcome outcome, const QString &notice);

private:
    QString m_senderProgram;
    QString m_nextActivationToken;
    int m_roundWaitMs = ReplyToSender::kRoundWaitMs;
    int m_maxRounds = ReplyToSender::kMaxRounds;
    int m_requestTimeoutMs = ReplyToSender::kRequestTimeoutMs;
};
