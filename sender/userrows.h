#pragma once

#include <QString>

// The rows of the user-list editor as the duplicate check sees them: the
// editor's own list view, with its unsaved edits, not the stored user list.
class UserRows
{
public:
    virtual ~UserRows() = default;
    virtual int rowCount() const = 0;
    virtual QString rowName(int row) const = 0;
    virtual QString rowIp(int row) const = 0;
};

// True when a row has exactly this name and this IP (letter case, blanks and
// leading zeros count).
bool isUserInList(const UserRows &rows, const QString &name, const QString &ip);
