#include "userrows.h"

bool isUserInList(const UserRows &rows, const QString &name, const QString &ip)
{
    for (int row = 0; row < rows.rowCount(); ++row) {
        if (rows.rowName(row) == name && rows.rowIp(row) == ip)
            return true;
    }
    return false;
}
