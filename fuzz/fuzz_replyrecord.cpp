// Any bytes handed to Quillpost as a reply record: read within the 255-byte
// buffer, and an accepted target is a usable user that the list takes.
#include "fieldchecks.h"
#include "replyintake.h"
#include "replyrecord.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    UserList users = defaultUserList();
    users.append({QStringLiteral("Anonymous1"), QStringLiteral("10.0.0.5"), 505, 0});
    const std::optional<ReplyRecord> record =
        ReplyRecord::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    std::optional<ReplyTarget> target = record ? replyTargetFor(*record, users) : std::nullopt;
    QString name, ip;
    if (!target)
        return 0;
    const bool usable = isValidUserName(target->name, name) && name == target->name &&
                        isValidAddress(target->ip, ip) && ip == target->ip && target->port >= 0 &&
                        target->port <= 65535;
    const int index = applyReplyTarget(users, *target);
    if (!usable || index < 1 || users.at(index).name != name || users.at(index).port != target->port)
        std::abort();
    return 0;
}
