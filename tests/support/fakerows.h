#pragma once
// The rows of a user list, given as (name, address) pairs.

#include "userrows.h"

#include <QList>
#include <QPair>

class FakeRows : public UserRows
{
public:
    QList<QPair<QString, QString>> rows;
    int rowCount() const override { return static_cast<int>(rows.size()); }
    QString rowName(int row) const override { return rows.at(row).first; }
    QString rowIp(int row) const override { return rows.at(row).second; }
};
