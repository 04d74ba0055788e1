#pragma once

#include <QString>

// Checks of what a user types (or a reply record carries). They show nothing
// and change nothing: a bad input gives false, and the caller reports it.

constexpr int kMaxUserNameLength = 128;
constexpr qint32 kMaxPort = 65535;

// The number that text holds as a port, and whether it is one (0 to 65535).
// port is always set; a number outside 32 bits sets it to 0 and fails.
bool isValidPort(const QString &text, qint32 &port);

// text without leading and trailing blanks (code 32 only) is 1 to 128
// characters long and holds no NUL. trimmed is always set.
bool isValidUserName(const QString &text, QString &trimmed);

// Four decimal parts of 0 to 255 separated by three dots, blanks around the
// whole allowed; an empty part reads 0. normalised (no leading zeros) is set
// only when the text passed the character and dot tests.
bool isValidIp(const QString &text, QString &normalised);

// A host name: 1 to 253 characters, dot-separated labels of 1 to 63
// letters, digits and '-' (not at a label's ends), an optional final dot.
bool isHostName(const QString &text);
// The IPv6 address text holds (with or without square brackets) in its
// compressed form, or empty when it holds none.
QString ipv6Text(const QString &text);

// What the user list takes as an address: an IPv4 address (normalised as
// isValidIp() does, so IPv4 entries stay as they always were), an IPv6
// address (compressed, without brackets) or a host name (as typed, without
// the blanks around it).
bool isValidAddress(const QString &text, QString &normalised);

// Blanks (code 32 only) removed from both ends.
QString trimBlanks(const QString &text);
