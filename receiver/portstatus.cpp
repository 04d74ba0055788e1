#include "portstatus.h"

#include "listener.h"
#include "messagebox.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStringList>

namespace {
// Ports named in the status before the rest are only counted.
constexpr qsizetype kPortsNamed = 8;

// "505", "505 and 506", "505, 506 and 507", "505, ... and 12 more".
QString portNames(const QList<qint32> &ports)
{
    QStringList names;
    for (qsizetype i = 0; i < ports.size() && i < kPortsNamed; ++i)
        names.append(QString::number(ports[i]));
    if (ports.size() > kPortsNamed)
        names.append(QStringLiteral("%1 more").arg(ports.size() - kPortsNamed));
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}
} // namespace

QString portStatusText(const QList<PortState> &ports)
{
    QList<qint32> listening;
    QStringList failed;
    for (const PortState &state : ports) {
        if (state.listening != 0) {
            listening.append(state.listening);
            continue;
        }
        if (failed.size() == kPortsNamed)
            continue; // counted below
        // The error box's text without its advice, which a protected port
        // gets here in short.
        const QString reason = state.error.section(QStringLiteral("\n\n"), 0, 0);
        const bool protectedPort =
            state.error != reason &&
            state.error == listenErrorDescription(QAbstractSocket::SocketAccessError, reason,
                                                  state.configured, QCoreApplication::applicationFilePath());
        failed.append(QCoreApplication::translate("PortStatus", "Not listening on port %1: %2")
                          .arg(QString::number(state.configured), reason) +
                      (protectedPort ? QCoreApplication::translate(
                                           "PortStatus", " (ports below 1024 need a right granted once: see "
                                                         "\"Port 505 on Linux\" in the README)")
                                     : QString()));
    }
    const qsizetype unnamed = ports.size() - listening.size() - failed.size();
    if (unnamed > 0)
        failed.append(
            QCoreApplication::translate("PortStatus", "Not listening on %1 more ports").arg(unnamed));
    QStringList lines;
    if (!listening.isEmpty())
        lines.append((listening.size() > 1
                          ? QCoreApplication::translate("PortStatus", "Listening on ports %1")
                          : QCoreApplication::translate("PortStatus", "Listening on port %1"))
                         .arg(portNames(listening)));
    else if (failed.isEmpty())
        lines.append(QCoreApplication::translate("PortStatus", "Listening on no port"));
    return (lines + failed).join(u'\n');
}

QLabel *createPortStatusLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("PortStatus"));
    label->setAccessibleName(QCoreApplication::translate("PortStatus", "Ports"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void showPortErrors(QWidget *owner, const QList<PortState> &ports)
{
    for (const PortState &state : ports) {
        if (!state.error.isEmpty())
            showNotice(owner, kTitleError,
                       QCoreApplication::translate("PortStatus", "Winsock Error: ") + state.error);
    }
}
