// Any bytes handed to Quillpost as a reply record: read within the 255-byte
// buffer, and an accepted target is always a usable user.
#include "fieldchecks.h"
#include "replyintake.h"
#include "replyrecord.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    UserList users = defaultUserList();
    users.append({QStringLiteral("Anonymous1"), QStringLiteral("10.0.0.5"), 505, 0});
    std::optional<ReplyTarget> target = checkReplyRecord(readCopyData(bytes), users);
    if (!target)
        return 0;
    QString check;
    if (!isValidUserName(target->name, check) || check != target->name || !isValidIp(target->ip, check) ||
        check != target->ip || target->port < 0 || target->port > 65535)
        std::abort();
    const int index = applyReplyTarget(users, *target);
    if (index < 1 || users.at(index).name != target->name || users.at(index).port != target->port)
        std::abort();
    return 0;
}
