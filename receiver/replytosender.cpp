#include "replytosender.h"

#include "localendpoint.h"
#include "replyrecord.h"
#include "windowactivation.h"

#include <QFileInfo>
#include <QProcess>

ReplyToSender::ReplyToSender(QObject *parent)
    : QObject(parent)
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
                finish(
                    ReplyOutcome::Failed,
                    tr("The sender's name and address are too long to be handed to the sending program, so "
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
        handOverActivationToken();
        finish(ReplyOutcome::Delivered);
        break;
    case EndpointReply::NoEndpoint:
        startSender();
        break;
    case EndpointReply::Failed:
        finish(ReplyOutcome::Failed,
               tr("The sending program did not take the reply, so no message could be replied"));
        break;
    }
}

void ReplyToSender::handOverActivationToken()
{
    // Its answer changes nothing: an older Quillpost refuses a token, and
    // its window has come forward as well as it could.
    if (m_activationToken.isEmpty())
        return;
    auto *request = EndpointRequest::bringToFront(kSendEndpointName, m_requestTimeoutMs, this,
                                                  std::exchange(m_activationToken, QString()).toLatin1());
    connect(request, &EndpointRequest::finished, request, &QObject::deleteLater);
    request->start();
}

void ReplyToSender::startSender()
{
    // The token goes with the first start only: it serves one activation.
    if (m_starts < m_maxRounds && launch(m_senderProgram, std::exchange(m_activationToken, QString()))) {
        ++m_starts;
        m_roundWait.start();
        return;
    }
    finish(ReplyOutcome::NoSender, tr("No sender open, so no message could be replied"));
}

bool ReplyToSender::launch(const QString &path, const QString &activationToken)
{
    const QFileInfo program(path);
    if (!program.isAbsolute() || !program.isFile() || !program.isExecutable())
        return false;
    // Started directly, never through a shell. A copy started while an
    // earlier one is still coming up ends by itself.
    QProcess process;
    process.setProgram(program.absoluteFilePath());
    process.setWorkingDirectory(program.absolutePath());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    if (isActivationToken(activationToken.toLatin1()))
        environment.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), activationToken);
    process.setProcessEnvironment(environment);
    return process.startDetached();
}

void ReplyToSender::finish(ReplyOutcome outcome, const QString &notice)
{
    m_roundWait.stop();
    m_busy = false;
    emit finished(outcome, notice);
}
