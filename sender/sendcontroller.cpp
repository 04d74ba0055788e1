#include "sendcontroller.h"

#include "identity.h"
#include "logging.h"
#include "presencebrowser.h"
#include "sendersettings.h"
#include "shownname.h"
#include "wireformat.h"

#include <algorithm>

SendController::SendController(SenderSettings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_sender(new MessageSender(this))
    , m_fanout(new MessageFanout(this))
{
    m_sender->setObjectName(QStringLiteral("Winsock1"));
    connect(m_sender, &MessageSender::connected, this, &SendController::connected);
    connect(m_sender, &MessageSender::finished, this, &SendController::onSendFinished);
    connect(m_fanout, &MessageFanout::finished, this, &SendController::onSeveralFinished);
}

bool SendController::sendToUser(int user, const QString &text, QString &error)
{
    m_sentTexts.add(text);
    const PresencePerson *person = followPerson(user);
    const UserRecord &record = m_settings.userList.at(user);
    m_recipientIp = record.ip;
    m_recipientName = record.name;
    m_recipientUser = user;
    // A pinned key, else the one the person announces: the message then
    // goes encrypted, and only to that key.
    m_sender->setRecipientKey(!record.key.key.isEmpty() || !person ? record.key.key : person->record.key);

    // A send under way is closed by start(), and the new one begins.
    m_fanout->stop();
    QString description;
    if (m_sender->start(m_recipientIp, record.port, description))
        return true;
    qCInfo(lcSend) << "send to" << m_recipientIp << "port" << record.port << "not started:" << description;
    m_sender->close();
    error = tr("Winsock Error: ") + description;
    return false;
}

const PresencePerson *SendController::followPerson(int user)
{
    m_moveNote.clear();
    const UserRecord &record = m_settings.userList.at(user);
    const PresencePerson *person =
        m_presence && !record.id.isEmpty() ? m_presence->personWithId(record.id) : nullptr;
    if (!person || (person->address == record.ip && person->port == record.port))
        return person;
    const auto where = [](const QString &ip, qint32 port) {
        return recipientLabel(Recipient{QString(), ip, port});
    };
    m_moveNote = u'\n' + tr("%1 is now at %2 (was %3); the user list follows.")
                             .arg(shownName(record.name), where(person->address, person->port),
                                  where(record.ip, record.port));
    m_settings.userList[user].ip = person->address;
    m_settings.userList[user].port = person->port;
    emit userMoved(user);
    return person;
}

void SendController::sendText(const QString &text)
{
    m_sender->send(
        composeMessage(m_settings.myUserName, m_settings.myReplyPort, text, m_sender->isEncrypted()));
}

void SendController::onSendFinished(MessageSender::Outcome outcome, const QString &description)
{
    m_sender->close();
    const QString recipient = m_recipientName + QStringLiteral(" (") + m_recipientIp;
    UserRecord &user = m_settings.userList[m_recipientUser];
    const bool sameUser = m_recipientUser > 0 && user.name == m_recipientName;
    switch (outcome) {
    case MessageSender::Outcome::Delivered: {
        QString security;
        if (m_sender->isEncrypted()) {
            // The first encrypted exchange pins the key.
            if (sameUser && user.key.key.isEmpty()) {
                user.key = PinnedKey{m_sender->peerKey()};
                emit userKeyPinned(m_recipientUser);
            }
            security = sameUser && user.key.verified ? tr(" - encrypted, verified") : tr(" - encrypted");
        }
        emit finished(Result::Delivered,
                      tr("Sucessful Message Send to: %1)").arg(recipient) + security + m_moveNote);
        break;
    }
    case MessageSender::Outcome::NotConfirmed:
        qCInfo(lcSend) << "send to" << m_recipientIp << "not confirmed:" << description;
        emit finished(Result::NotConfirmed,
                      tr("Message sent to: %1), but not confirmed: %2").arg(recipient, description) +
                          m_moveNote);
        break;
    case MessageSender::Outcome::Failed:
        qCInfo(lcSend) << "send to" << m_recipientIp << "failed:" << description;
        if (m_sender->keyMismatch()) {
            emit finished(
                Result::Failed,
                tr("WARNING: the key of %1 has changed.\n\nThe recipient showed a key with the code\n%2\n"
                   "but the key pinned for %1 has the code\n%3\n\nSomeone may be posing as %1. The "
                   "message was not sent. If %1 really has a new key (compare the code with them), "
                   "use Forget Key in their entry of the user list, and the next message pins the "
                   "new one.")
                    .arg(shownName(m_recipientName), Identity::verificationCode(m_sender->peerKey()),
                         Identity::verificationCode(user.key.key)));
            break;
        }
        emit finished(Result::Failed, tr("Winsock Error: ") + description + m_moveNote);
        break;
    }
}

bool SendController::sendToSeveral(const QList<Recipient> &recipients, const QString &text, QString &error)
{
    // Groups without members: nobody to send to, and the text stays.
    if (recipients.isEmpty()) {
        error = tr("The chosen groups have no members");
        return false;
    }
    m_sender->close();
    m_sentTexts.add(text);
    m_fanout->start(recipients, composeMessage(m_settings.myUserName, m_settings.myReplyPort, text),
                    composeMessage(m_settings.myUserName, m_settings.myReplyPort, text, true));
    return true;
}

void SendController::onSeveralFinished()
{
    const QList<RecipientResult> &results = m_fanout->results();
    for (const RecipientResult &result : results) {
        if (result.outcome != MessageSender::Outcome::Delivered)
            qCInfo(lcSend) << "send to" << recipientLabel(result.recipient)
                           << "failed:" << result.description;
    }
    // Some missed it: the text stays, for sending again to them.
    const Result result = allDelivered(results) ? Result::Delivered : Result::NotConfirmed;
    emit finished(result, fanoutSummary(results));
}

void SendController::stop()
{
    m_sender->close();
    m_fanout->stop();
}
