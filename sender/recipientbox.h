#pragma once

#include <QComboBox>

class PresenceBrowser;
class UserList;

// The main window's recipient box ("Combo1"): one "name (address: port)"
// entry per user of the list, in the list's order.
class RecipientBox : public QComboBox
{
    Q_OBJECT
public:
    explicit RecipientBox(QWidget *parent = nullptr);

    // Rebuilt from the list, entry index selected; with people, the users
    // who are online are marked.
    void fill(const UserList &users, int index, const PresenceBrowser *people = nullptr);

    static QString onlineMark() { return QStringLiteral(" [online]"); }
};
