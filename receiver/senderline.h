#pragma once

#include <QString>

class QFontMetrics;

// The line above a message that says who sent it: the name, " (", the
// address, " Port:", the port and ") Send:".

// The name as the line shows it. Names come from anyone on the network:
// control characters (line breaks among them) and the marks that steer the
// text's direction are shown as visible symbols, and a name holding
// right-to-left text is isolated, so that no name can draw a line of its own
// or turn the rest of the line around. An empty name is "Anonymous".
QString shownSenderName(const QString &name);

QString senderLineText(const QString &shownName, const QString &address, quint16 port);

// The line within width pixels: the name is shortened in its middle when the
// whole line would not fit, so the address and port always show.
QString fittedSenderLine(const QString &name, const QString &address, quint16 port,
                         const QFontMetrics &metrics, int width);
