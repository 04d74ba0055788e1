#include "replytosender.h"

#include "messagebox.h"
#include "messagewindow.h"
#include "replyrecordsender.h"

#include <QFileInfo>
#include <QPointer>
#include <QProcess>

ReplyToSender::ReplyToSender(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
    , m_copyDataTimeoutMs(kCopyDataTimeoutMs)
{
    m_roundWait.setSingleShot(true);
    m_roundWait.setInterval(kRoundWaitMs);
    connect(&m_roundWait, &QTimer::timeout, this, &ReplyToSender::roundDue);
}

bool ReplyToSender::start(const QString &name, const QString &ip, qint32 port)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_starts = 0;
    const QChar nul(u'\0');
    m_record = name + nul + ip + nul + QString::number(port) + nul;
    const qint16 result = sendCopyData(kSenderWindowCaption, m_record, m_copyDataTimeoutMs);
    if (result != kCopyDataNoWindow)
        finish(result);
    else
        startSender();
    return true;
}

void ReplyToSender::startSender()
{
    if (m_starts >= m_maxRounds || !launch()) {
        giveUp();
        return;
    }
    m_roundWait.start();
}

void ReplyToSender::roundDue()
{
    const qint16 result = sendCopyData(kSenderWindowCaption, m_record, m_copyDataTimeoutMs);
    if (result != kCopyDataNoWindow)
        finish(result);
    else
        startSender();
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

void ReplyToSender::finish(qint16 result)
{
    m_roundWait.stop();
    m_busy = false;
    emit finished(result);
}

void ReplyToSender::giveUp()
{
    m_roundWait.stop();
    m_busy = false;
    // The notice runs an event loop of its own, in which the window that
    // owns this object may close.
    QPointer<ReplyToSender> alive(this);
    showMessage(m_owner, kTitleWarning, QStringLiteral("No sender open, so no message could be replied"));
    if (alive)
        emit finished(kCopyDataNoWindow);
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
    QObject::connect(reply, &ReplyToSender::finished, window, [window](qint16 result) {
        window->setReplyEnabled(true);
        window->onReplyFinished(result);
    });
    return reply;
}
