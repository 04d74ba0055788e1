#pragma once

#include "sendersettings.h"

#include <QString>
#include <optional>

// Quillpost's side of a reply: checking the record Quillbox handed over and
// finding or adding the person to answer.

struct ReplyTarget
{
    QString name;    // ReplyToName
    QString ip;      // ReplyToIp, normalised
    qint32 port = 0; // ReplyToPort
    int index = -1;  // ReplyToIndex: number in the user list, -1 when not in it
};

// True when some user 1..N has exactly this name and this IP.
bool isKnownUser(const UserList &users, const QString &name, const QString &ip);

// The target a record names, or nothing when any check fails (the record is
// then ignored). An empty name becomes the first free "Anonymous<n>" at that
// address.
std::optional<ReplyTarget> checkReplyRecord(const QString &text, const UserList &users);

// Applies the target to the list: the known user's port is updated, or the
// user is appended. Returns the user's number, or -1 when the list is full
// and nothing changed.
int applyReplyTarget(UserList &users, ReplyTarget &target);
