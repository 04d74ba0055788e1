#pragma once

#include "messagesender.h"
#include "presencebrowser.h"
#include "securetransport.h"
#include "sendersettings.h"

#include <QList>
#include <QObject>
#include <optional>

// One person or machine a message goes to: the name shown in reports, and
// where their Quillbox listens.
struct Recipient
{
    QString name; // empty for an address given by itself
    QString ip;
    qint32 port = 0;
    // The key the recipient must show: pinned in the user list, or
    // announced; empty: the message goes plain.
    PinnedKey key = {};
};

struct RecipientResult
{
    Recipient recipient;
    MessageSender::Outcome outcome = MessageSender::Outcome::Failed;
    QString description; // why, for NotConfirmed and Failed
    bool encrypted = false;
    QByteArray peerKey = {}; // the key the recipient showed, when encrypted
};

// One message to many recipients: one connection per recipient with the same
// payload, each confirmed as a single send is, at most kMaxParallel at a
// time. Shows nothing; the window and the command line report the results.
class MessageFanout : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxParallel = 16;
    // A recipient whose machine does not take the connection within this is
    // reported as failed. Left to the system, an unreachable host holds its
    // place in the pool for a minute or more, and a list of many such hosts
    // would take hours; this is the size of the wait for the confirmation.
    static constexpr int kConnectWaitMs = 5000;

    explicit MessageFanout(QObject *parent = nullptr);
    ~MessageFanout() override;

    // Stops whatever is under way and sends payload to every recipient, in
    // their order, from the next turn of the event loop on. finished()
    // follows also for an empty list.
    // Encrypted connections carry encryptedPayload (the same in UTF-8; the
    // plain payload when empty). With requireEncryption set, recipients
    // without a key get nothing.
    void start(const QList<Recipient> &recipients, const QByteArray &payload,
               const QByteArray &encryptedPayload = {});
    void setRequireEncryption(bool required) { m_requireEncryption = required; }
    // Ends every attempt silently; finished() does not follow.
    void stop();

    bool isRunning() const { return m_running; }
    // One result per recipient, in their order; valid for those reported
    // through recipientFinished() so far.
    const QList<RecipientResult> &results() const { return m_results; }
    void setConfirmWait(int ms) { m_confirmWaitMs = ms; }
    void setConnectWait(int ms) { m_connectWaitMs = ms; }

signals:
    void recipientFinished(int index);
    void finished();

private:
    void launch();
    void startNext(MessageSender *sender);
    void onSenderFinished(MessageSender *sender, MessageSender::Outcome outcome, const QString &description);
    void record(int index, MessageSender::Outcome outcome, const QString &description);

    QList<MessageSender *> m_senders;
    QList<int> m_senderIndex; // the recipient each sender serves, -1 when idle
    QList<RecipientResult> m_results;
    QByteArray m_payload;
    QByteArray m_encryptedPayload;
    bool m_requireEncryption = false;
    int m_next = 0;
    int m_done = 0;
    int m_confirmWaitMs = MessageSender::kConfirmWaitMs;
    int m_connectWaitMs = kConnectWaitMs;
    int m_generation = 0;
    bool m_running = false;
};

// Collects recipients, each address and port once: a user of the list, the
// members of a group (a member no longer in the list becomes a recipient
// without an address, which fails with "not in the user list"), or what a
// word of the command line names.
class RecipientSet
{
public:
    explicit RecipientSet(const SenderSettings &settings)
        : m_settings(settings)
    {}
    void addUser(const UserRecord &user);
    void addGroup(const UserGroup &group);
    // Every user of that name, else the group of that name, else what
    // addressWord() reads. False when the word names none of them.
    bool addWord(const QString &word);
    // A person online, at the address and port they announce.
    void addPerson(const PresencePerson &person);
    const QList<Recipient> &recipients() const { return m_recipients; }

private:
    void add(const Recipient &recipient);

    const SenderSettings &m_settings;
    QList<Recipient> m_recipients;
};

// The recipient a word of the command line names by its address: a dotted
// IPv4 address, or "[IPv6]", each with an optional ":PORT", or HOST:PORT
// with HOST a host name; PORT 1 to 65535 in decimal digits, the default
// port when none is given. nullopt for anything else.
std::optional<Recipient> addressWord(const QString &word, qint32 defaultPort);

// "alice (10.0.0.2:505)", or "10.0.0.2:505" for an address by itself
QString recipientLabel(const Recipient &recipient);
// One line per recipient for the command line: "delivered: ...", "not
// confirmed: ...: why", "failed: ...: why".
QString resultLine(const RecipientResult &result);
// True when every recipient confirmed the message.
bool allDelivered(const QList<RecipientResult> &results);
// The text of the box that ends a send to several recipients: who got the
// message, and who did not and why (long lists are cut short).
QString fanoutSummary(const QList<RecipientResult> &results);
