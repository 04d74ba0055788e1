#include "replytosender.h"

#include "localendpoint.h"
#include "messagebox.h"
#include "messagewindow.h"
#include "replyrecord.h"

#include <QFileInfo>
#include <QProcess>

ReplyToSender::ReplyToSender(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
{
    m_roundWait.setSingleShot(true);
    m_roundWait.setInterval(kRoundWaitMs);
    connect(&m_roundWait, &QTimer::timeout, this, &ReplyToSender::ask);
}

ReplyToSender::~ReplyToSender() = default;

bool ReplyToSender::start(const QString &name, const QString &ip, qint32 port)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_starts = 0;
    const std::optional<QByteArray> record = ReplyRecord{name, ip, port}.encode();
    if (!record) {
        // A name from the network may need more room than the record has.
        QMetaObject::invokeMethod(
            this,
            [this] {
                fail(QStringLiteral("The sender's name is too long to be handed to the sending program, so "
                                    "no message could be replied"));
            },
            Qt::QueuedConnection);
        return true;
    }
    m_record = *record;
    ask();
    return true;
}

void ReplyToSender::ask()
{
    m_request =
        EndpointRequest::copyData(kSendEndpointName, kReplyRecordKind, m_record, m_requestTimeoutMs, this);
    connect(m_request, &EndpointRequest::finished, this, &ReplyToSender::answered);
    m_request->start();
}

void ReplyToSender::answered(EndpointReply reply)
{
    m_request->deleteLater();
    m_request = nullptr;
    switch (reply) {
    case EndpointReply::Answered:
        finish(ReplyOutcome::Delivered);
        break;
    case EndpointReply::NoEndpoint:
        startSender();
        break;
    case EndpointReply::Failed:
        fail(QStringLiteral("The sending program did not take the reply, so no message could be replied"));
        break;
    }
}

void ReplyToSender::startSender()
{
    if (m_starts < m_maxRounds && launch()) {
        m_roundWait.start();
        return;
    }
    showNotice(m_owner, kTitleWarning, QStringLiteral("No sender open, so no message could be replied"));
    finish(ReplyOutcome::NoSender);
}

bool ReplyToSender::launch()
{
    const QFileInfo program(m_senderProgram);
    if (!program.isAbsolute() || !program.isFile() || !program.isExecutable())
        return false;
    // Started directly, never through a shell. A copy started while an
    // earlier one is still coming up ends by itself.
    if (!QProcess::startDetached(program.absoluteFilePath(), {}, program.absolutePath()))
        return false;
    ++m_starts;
    return true;
}

void ReplyToSender::fail(const QString &text)
{
    showNotice(m_owner, kTitleWarning, text);
    finish(ReplyOutcome::Failed);
}

void ReplyToSender::finish(ReplyOutcome outcome)
{
    m_roundWait.stop();
    m_busy = false;
    emit finished(outcome);
}

ReplyToSender *attachReplyToSender(MessageWindow *window, const QString &senderProgram)
{
    auto *reply = new ReplyToSender(window);
    reply->setSenderProgram(senderProgram);
    QObject::connect(window, &MessageWindow::replyRequested, reply,
                     [window, reply](const QString &name, const QString &ip, qint32 port) {
                         window->setReplyEnabled(false);
                         reply->start(name, ip, port);
                     });
    QObject::connect(reply, &ReplyToSender::finished, window, [window](ReplyOutcome outcome) {
        window->setReplyEnabled(true);
        window->onReplyFinished(outcome == ReplyOutcome::Delivered);
    });
    return reply;
}
