#include "messagefanout.h"

#include "conversions.h"
#include "fieldchecks.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>

namespace {

// A summary box lists this many names per kind, then says how many more.
constexpr int kSummaryNames = 20;

QString nameList(const QStringList &names)
{
    QString list = names.mid(0, kSummaryNames).join(QStringLiteral(", "));
    if (names.size() > kSummaryNames)
        list +=
            QStringLiteral(" and ") + QString::number(names.size() - kSummaryNames) + QStringLiteral(" more");
    return list;
}

// A user by name, an address typed on the command line by itself.
QString summaryName(const Recipient &recipient)
{
    return recipient.name.isEmpty() ? recipientLabel(recipient) : recipient.name;
}

} // namespace

MessageFanout::MessageFanout(QObject *parent)
    : QObject(parent)
{}

MessageFanout::~MessageFanout()
{
    stop();
}

void MessageFanout::start(const QList<Recipient> &recipients, const QByteArray &payload,
                          const QByteArray &encryptedPayload)
{
    stop();
    m_running = true;
    m_payload = payload;
    m_encryptedPayload = encryptedPayload.isEmpty() ? payload : encryptedPayload;
    m_next = 0;
    m_done = 0;
    m_results.clear();
    for (const Recipient &recipient : recipients)
        m_results.append({recipient, MessageSender::Outcome::Failed, QString()});
    // Every report comes from the event loop, never from inside start().
    const int generation = ++m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_generation)
            launch();
    });
}

void MessageFanout::launch()
{
    if (!m_running)
        return;
    if (m_results.isEmpty()) {
        m_running = false;
        emit finished();
        return;
    }
    const qsizetype wanted = std::min<qsizetype>(kMaxParallel, m_results.size());
    while (m_senders.size() < wanted) {
        auto *sender = new MessageSender(this);
        connect(sender, &MessageSender::connected, this,
                [this, sender] { sender->send(sender->isEncrypted() ? m_encryptedPayload : m_payload); });
        connect(sender, &MessageSender::finished, this,
                [this, sender](MessageSender::Outcome outcome, const QString &description) {
                    onSenderFinished(sender, outcome, description);
                });
        m_senders.append(sender);
        m_senderIndex.append(-1);
    }
    for (MessageSender *sender : std::as_const(m_senders)) {
        sender->setConfirmWait(m_confirmWaitMs);
        sender->setConnectWait(m_connectWaitMs);
        if (m_running)
            startNext(sender);
    }
}

void MessageFanout::stop()
{
    m_running = false;
    for (qsizetype i = 0; i < m_senders.size(); ++i) {
        m_senders[i]->close();
        m_senderIndex[i] = -1;
    }
}

void MessageFanout::startNext(MessageSender *sender)
{
    const qsizetype slot = m_senders.indexOf(sender);
    // An address that cannot even be tried fails at once and the sender takes the next one.
    while (m_running && m_next < m_results.size()) {
        const int index = m_next++;
        const Recipient &to = m_results.at(index).recipient;
        QString description = tr("not in the user list");
        sender->setRecipientKey(to.key.key, m_requireEncryption);
        if (!to.ip.isEmpty() && sender->start(to.ip, to.port, description)) {
            m_senderIndex[slot] = index;
            return;
        }
        record(index, MessageSender::Outcome::Failed, description);
    }
    m_senderIndex[slot] = -1;
}

void MessageFanout::onSenderFinished(MessageSender *sender, MessageSender::Outcome outcome,
                                     const QString &description)
{
    const qsizetype slot = m_senders.indexOf(sender);
    const int index = m_senderIndex.at(slot);
    m_senderIndex[slot] = -1;
    if (!m_running || index < 0)
        return;
    m_results[index].encrypted = sender->isEncrypted();
    m_results[index].peerKey = sender->peerKey();
    record(index, outcome, description);
    startNext(sender);
}

void MessageFanout::record(int index, MessageSender::Outcome outcome, const QString &description)
{
    m_results[index].outcome = outcome;
    m_results[index].description = description;
    ++m_done;
    emit recipientFinished(index);
    if (m_running && m_done == m_results.size()) {
        m_running = false;
        emit finished();
    }
}

QString recipientLabel(const Recipient &recipient)
{
    const QString host = recipient.ip.contains(u':') ? u'[' + recipient.ip + u']' : recipient.ip;
    const QString address = host + u':' + QString::number(recipient.port);
    if (recipient.name.isEmpty())
        return address;
    return recipient.ip.isEmpty() ? recipient.name : recipient.name + QStringLiteral(" (") + address + u')';
}

QString resultLine(const RecipientResult &result)
{
    switch (result.outcome) {
    case MessageSender::Outcome::Delivered:
        if (!result.encrypted)
            return QCoreApplication::translate("MessageFanout", "delivered: %1")
                .arg(recipientLabel(result.recipient));
        return (result.recipient.key.verified
                    ? QCoreApplication::translate("MessageFanout", "delivered (encrypted, verified): %1")
                    : QCoreApplication::translate("MessageFanout", "delivered (encrypted): %1"))
            .arg(recipientLabel(result.recipient));
    case MessageSender::Outcome::NotConfirmed:
        return QCoreApplication::translate("MessageFanout", "not confirmed: %1: %2")
            .arg(recipientLabel(result.recipient), result.description);
    case MessageSender::Outcome::Failed:
        break;
    }
    return QCoreApplication::translate("MessageFanout", "failed: %1: %2")
        .arg(recipientLabel(result.recipient), result.description);
}

QString fanoutSummary(const QList<RecipientResult> &results)
{
    QStringList delivered;
    QStringList missed;
    for (const RecipientResult &result : results) {
        if (result.outcome == MessageSender::Outcome::Delivered)
            delivered << summaryName(result.recipient);
        else
            missed << summaryName(result.recipient) + QStringLiteral(" (") +
                          (result.outcome == MessageSender::Outcome::NotConfirmed
                               ? QCoreApplication::translate("MessageFanout", "not confirmed: ")
                               : QString()) +
                          result.description + u')';
    }
    QString text = QCoreApplication::translate("MessageFanout", "Delivered to %1 of %2 recipients.")
                       .arg(QString::number(delivered.size()), QString::number(results.size()));
    if (!delivered.isEmpty())
        text += QCoreApplication::translate("MessageFanout", "\nDelivered: ") + nameList(delivered);
    if (!missed.isEmpty())
        text += QCoreApplication::translate("MessageFanout", "\nNot delivered: ") + nameList(missed);
    return text;
}

void RecipientSet::add(const Recipient &recipient)
{
    const bool known = std::any_of(m_recipients.cbegin(), m_recipients.cend(), [&](const Recipient &r) {
        return r.ip.isEmpty() ? recipient.ip.isEmpty() && r.name == recipient.name
                              : r.ip == recipient.ip && r.port == recipient.port;
    });
    if (!known)
        m_recipients.append(recipient);
}

void RecipientSet::addUser(const UserRecord &user)
{
    add({user.name, user.ip, user.port, user.key});
}

void RecipientSet::addGroup(const UserGroup &group)
{
    const UserList &users = m_settings.userList;
    for (const QString &member : group.members) {
        bool found = false;
        for (int n = 1; n <= users.count(); ++n) {
            if (users.at(n).name == member) {
                addUser(users.at(n));
                found = true;
            }
        }
        if (!found)
            add({member, QString(), 0});
    }
}

bool RecipientSet::addWord(const QString &word)
{
    const UserList &users = m_settings.userList;
    bool found = false;
    for (int n = 1; n <= users.count(); ++n) {
        if (users.at(n).name == word) {
            addUser(users.at(n));
            found = true;
        }
    }
    if (found)
        return true;
    for (const UserGroup &group : m_settings.groups) {
        if (group.name == word) {
            addGroup(group);
            return true;
        }
    }
    const std::optional<Recipient> address = addressWord(word, m_settings.defaultPort);
    if (address)
        add(*address);
    return address.has_value();
}

void RecipientSet::addPerson(const PresencePerson &person)
{
    add({person.record.name, person.address, person.port, PinnedKey{person.record.key}});
}

std::optional<Recipient> addressWord(const QString &word, qint32 defaultPort)
{
    // "[IPv6]" or "[IPv6]:PORT"; else HOST[:PORT], a host name only with
    // its port, so a mistyped user name is never taken for a machine.
    const bool bracketed = word.startsWith(u'[');
    const qsizetype colon = bracketed ? word.indexOf(u"]:") + 1 : word.indexOf(u':');
    if (bracketed && colon == 0 && !word.endsWith(u']'))
        return std::nullopt;
    const QString host = colon > 0 ? word.left(colon) : word;
    QString ip;
    if (bracketed)
        ip = ipv6Text(host);
    else if (!isValidIp(host, ip) || host.trimmed().isEmpty())
        ip = colon > 0 && isHostName(host) ? host : QString();
    if (ip.isEmpty())
        return std::nullopt;
    qint32 port = defaultPort;
    if (colon > 0) {
        // Read strictly: a script's typo must not reach another port.
        const std::optional<qint32> written = plainNumber(QStringView(word).mid(colon + 1), kMaxPort);
        if (!written || *written == 0)
            return std::nullopt;
        port = *written;
    }
    return Recipient{QString(), ip, port};
}

bool allDelivered(const QList<RecipientResult> &results)
{
    return std::all_of(results.cbegin(), results.cend(), [](const RecipientResult &result) {
        return result.outcome == MessageSender::Outcome::Delivered;
    });
}
