#include "replyintake.h"

#include "fieldchecks.h"
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

std::optional<ReplyTarget> checkReplyRecord(const QString &text, const UserList &users)
{
    if (text.isEmpty())
        return std::nullopt;
    const QChar nul(u'\0');
    const qsizetype first = text.indexOf(nul);
    if (first < 0)
        return std::nullopt;
    const qsizetype second = text.indexOf(nul, first + 1);
    if (second < 0)
        return std::nullopt;
    const qsizetype third = text.indexOf(nul, second + 1);
    if (third < 0)
        return std::nullopt;

    ReplyTarget target;
    target.name = text.left(first);
    const QString ip = text.mid(first + 1, second - first - 1);
    const QString portText = text.mid(second + 1, third - second - 1);
    if (!isValidIp(ip, target.ip))
        return std::nullopt;
    if (!isValidPort(portText, target.port))
        return std::nullopt;

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
        QString trimmed;
        if (!isValidUserName(target.name, trimmed))
            return std::nullopt;
        target.name = trimmed;
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
