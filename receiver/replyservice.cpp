#include "replyservice.h"

#include "message.h"

#include <QCoreApplication>
#include <QDir>

ReplyService::ReplyService(QObject *parent)
    : QObject(parent)
    , m_senderProgram(defaultSenderProgram())
{}

QString ReplyService::defaultSenderProgram()
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("quillpost.exe");
#else
    const QString name = QStringLiteral("quillpost");
#endif
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(name);
}

ReplyToSender *ReplyService::reply(const Message &sender, QObject *requester)
{
    auto *handoff = requester->findChild<ReplyToSender *>(QString(), Qt::FindDirectChildrenOnly);
    if (!handoff) {
        handoff = new ReplyToSender(requester);
        connect(handoff, &ReplyToSender::finished, this,
                [this, requester](ReplyOutcome outcome, const QString &notice) {
                    emit finished(requester, outcome, notice);
                });
        handoff->setSenderProgram(m_senderProgram);
        handoff->setRoundWait(m_roundWaitMs);
        handoff->setMaxRounds(m_maxRounds);
        handoff->setRequestTimeout(m_requestTimeoutMs);
    }
    handoff->setActivationToken(std::exchange(m_nextActivationToken, QString()));
    return handoff->start(sender.name, sender.address, sender.answerPort()) ? handoff : nullptr;
}

bool ReplyService::startSender() const
{
    return ReplyToSender::launch(m_senderProgram);
}
