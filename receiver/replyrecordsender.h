#pragma once

#include <QString>

// Hands a copy-data record to the window of a running program of this user,
// found by its caption, and waits until that program has handled it.

// Result codes of sendCopyData.
enum SendCopyDataResult : qint16
{
    kCopyDataDelivered = 0, // the window's program took the record
    kCopyDataNoWindow = 1,  // no window with that caption answers
    kCopyDataEmpty = 2,     // the text was empty; nothing was sent
    kCopyDataFailed = 3,    // too long for the buffer, refused, or no answer in time
};

// How long the receiving program may take to handle a record. It answers
// at once unless it shows its user a notice first; the wait holds up this
// program's window, so it cannot last for ever.
constexpr int kCopyDataTimeoutMs = 10000;

// The text (fields separated by NULs) is converted to the single-byte code
// page and copied into a zero-filled buffer of 255 bytes; what travels is
// the text's bytes and the zero after them, marked with kReplyRecordKind.
qint16 sendCopyData(const QString &caption, const QString &text, int timeoutMs = kCopyDataTimeoutMs);
