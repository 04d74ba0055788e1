#pragma once

#include <QString>

class QFontMetrics;

// The line above a message that says who sent it: the name, " (", the
// address, " Port:", the port and ") Send:".

// The name as the line shows it: as shownName() shows a name from the
// network (common/shownname.h), and "Anonymous" for an empty one.
QString shownSenderName(const QString &name);

QString senderLineText(const QString &shownName, const QString &address, quint16 port);

// The line within width pixels: the name is shortened in its middle when the
// whole line would not fit, so the address and port always show.
QString fittedSenderLine(const QString &name, const QString &address, quint16 port,
                         const QFontMetrics &metrics, int width);
