#include "senderline.h"

#include "shownname.h"

#include <QFontMetrics>
#include <algorithm>

namespace {

// A name longer than any screen is measured only in part.
constexpr qsizetype kMeasuredEnds = 500;

} // namespace

QString shownSenderName(const QString &name)
{
    return name.isEmpty() ? QStringLiteral("Anonymous") : shownName(name);
}

QString senderLineText(const QString &shownName, const QString &address, quint16 port)
{
    return shownName + QStringLiteral(" (") + address + QStringLiteral(" Port:") + QString::number(port) +
           QStringLiteral(") Send:");
}

QString fittedSenderLine(const QString &name, const QString &address, quint16 port,
                         const QFontMetrics &metrics, int width)
{
    QString shown = shownSenderName(name);
    if (shown.size() > 2 * kMeasuredEnds)
        shown = shown.left(kMeasuredEnds) + QChar(0x2026) + shown.right(kMeasuredEnds);
    const QString line = senderLineText(shown, address, port);
    if (metrics.horizontalAdvance(line) <= width)
        return line;
    const int room = width - metrics.horizontalAdvance(senderLineText(QString(), address, port));
    const int least = metrics.horizontalAdvance(QStringLiteral("MMMM"));
    return senderLineText(metrics.elidedText(shown, Qt::ElideMiddle, std::max(room, least)), address, port);
}
