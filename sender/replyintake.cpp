#include "replyintake.h"

#include "localendpoint.h"
#include "logging.h"
#include "replyrecordreceiver.h"
#include "storelist.h"

namespace {

int findUser(const UserList &users, const QString &name, const QString &ip)
{
    for (int n = 1; n <= users.count(); ++n) {
        if (users.at(n).ip == ip && users.at(n).name == name)
            return n;
    }
    return -1;
}

} // namespace

bool isKnownUser(const UserList &users, const QString &name, const QString &ip)
{
    return findUser(users, name, ip) >= 0;
}

std::optional<ReplyTarget> replyTargetFor(const ReplyRecord &record, const UserList &users)
{
    ReplyTarget target{record.name, record.address, record.port};
    if (target.name.isEmpty()) {
        // At most count() + 1 candidates can be taken, so this ends.
        for (int i = 1;; ++i) {
            const QString candidate = QStringLiteral("Anonymous") + QString::number(i);
            if (!isKnownUser(users, candidate, target.ip)) {
                target.name = candidate;
                break;
            }
        }
    } else {
        target.index = findUser(users, target.name, target.ip);
    }
    if (target.index < 0 && users.count() >= kMaxListEntries)
        return std::nullopt;
    return target;
}

int applyReplyTarget(UserList &users, ReplyTarget &target)
{
    target.index = findUser(users, target.name, target.ip);
    if (target.index >= 1) {
        users[target.index].port = target.port;
    } else if (users.count() >= kMaxListEntries) {
        return -1;
    } else {
        users.append({target.name, target.ip, target.port, 0});
        target.index = users.count();
    }
    return target.index;
}

ReplyIntake::ReplyIntake(UserList &users, QObject *parent)
    : QObject(parent)
    , m_users(users)
{
    m_bringForward.setObjectName(QStringLiteral("TimerSW"));
    m_bringForward.setSingleShot(true);
    m_bringForward.setInterval(kBringForwardDelayMs);
    connect(&m_bringForward, &QTimer::timeout, this, &ReplyIntake::bringForwardDue);
}

ReplyIntake::~ReplyIntake()
{
    close();
}

void ReplyIntake::listen()
{
    m_endpoint = new LocalEndpoint(kSendEndpointName, this);
    connect(m_endpoint, &LocalEndpoint::bringToFrontRequested, this, &ReplyIntake::bringToFrontRequested);
    m_endpoint->listen();
    // From here on, reply records from Quillbox are taken.
    m_receiver = new ReplyRecordReceiver(this);
    connect(m_receiver, &ReplyRecordReceiver::replyRecordReceived, this, &ReplyIntake::take);
    m_receiver->hook(m_endpoint);
}

void ReplyIntake::close()
{
    if (m_receiver)
        m_receiver->unhook();
    if (m_endpoint)
        m_endpoint->close();
}

void ReplyIntake::setWindowActive(bool active)
{
    m_active = active;
    if (m_active)
        applyPending();
}

void ReplyIntake::take(const QByteArray &data)
{
    // Records that fail a check are dropped without a word to the user.
    const std::optional<ReplyRecord> record = ReplyRecord::decode(data);
    const std::optional<ReplyTarget> target = record ? replyTargetFor(*record, m_users) : std::nullopt;
    if (!target) {
        if (record)
            qCInfo(lcReply) << "reply record refused: the user list is full";
        return;
    }
    // A later record replaces a target still waiting.
    m_target = *target;
    m_pending = true;
    if (m_active)
        applyPending();
    else
        emit targetWaiting(m_target.name);
}

void ReplyIntake::applyPending()
{
    if (!m_pending)
        return;
    // The list may have been changed since the record came; a full list
    // leaves the target waiting.
    if (applyReplyTarget(m_users, m_target) < 0)
        return;
    m_pending = false;
    emit userChosen(m_target.index);
    m_bringForward.start();
}
