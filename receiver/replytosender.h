#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class EndpointRequest;
enum class EndpointReply;

// How a handoff ended.
enum class ReplyOutcome
{
    Delivered, // Quillpost took the sender
    NoSender,  // no Quillpost window answered, even after starting one
    Failed     // the record does not fit, or Quillpost refused it or hung
};

// Hands the sender of a message to Quillpost on this machine, so that its
// user can answer: the reply record goes to the window captioned "Send
// Message"; when none answers, Quillpost is started from this program's
// folder and asked again every half second, for a bounded number of rounds.
// Nothing here waits: each request reports back from the event loop, so the
// program keeps receiving and painting meanwhile. It opens no box: what the
// user should be told comes with the outcome. ReplyService makes one for
// each window that asks.
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
    // How long Quillpost may take to answer one request. It answers as soon
    // as it has taken the record; this only ends the wait for one that hangs.
    static constexpr int kRequestTimeoutMs = 10000;

    explicit ReplyToSender(QObject *parent = nullptr);
    ~ReplyToSender() override;

    // The program that is started when no window answers.
    void setSenderProgram(const QString &path) { m_senderProgram = path; }
    QString senderProgram() const { return m_senderProgram; }
    // Tests shorten the waits.
    void setRoundWait(int milliseconds) { m_roundWait.setInterval(milliseconds); }
    void setMaxRounds(int rounds) { m_maxRounds = rounds; }
    void setRequestTimeout(int milliseconds) { m_requestTimeoutMs = milliseconds; }

    // The activation token for Quillpost's window (see bringToFront()), for
    // the next handoff: a started Quillpost finds it in its environment, a
    // running one gets it once it has taken the record.
    void setActivationToken(const QString &token) { m_activationToken = token; }

    bool isBusy() const { return m_busy; }
    // How often the sending program was started by the latest handoff.
    int startsMade() const { return m_starts; }

    // Starts handing over; finished() reports the outcome from the event
    // loop. False, and nothing done, while a handoff is under way.
    bool start(const QString &name, const QString &ip, qint32 port);

    // Starts program directly, never through a shell, with the activation
    // token in its environment if one is given; false when it is not an
    // executable file or could not be started.
    static bool launch(const QString &program, const QString &activationToken = {});

signals:
    // notice: what to tell the user, empty once Quillpost has the sender.
    void finished(ReplyOutcome outcome, const QString &notice);

private:
    void ask();
    void answered(EndpointReply reply);
    void startSender();
    void handOverActivationToken();
    void finish(ReplyOutcome outcome, const QString &notice = {});

    QString m_senderProgram;
    QTimer m_roundWait;
    QByteArray m_record;
    QString m_activationToken;
    EndpointRequest *m_request = nullptr;
    int m_maxRounds = kMaxRounds;
    int m_requestTimeoutMs = kRequestTimeoutMs;
    int m_starts = 0;
    bool m_busy = false;
};
