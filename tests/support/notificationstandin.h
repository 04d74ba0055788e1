#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// Answers as a notification server does, on a connection of its own,
// owning the name while it lives.
class StandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    StandIn()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-in")))
    {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                             QDBusConnection::ExportAllContents);
        m_bus.registerService(QStringLiteral("org.freedesktop.Notifications")); // seen through isAvailable()
    }
    ~StandIn() override { QDBusConnection::disconnectFromBus(m_bus.name()); }
    QList<QStringList> calls; // summary, body, actions...

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &, int)
    {
        calls.append(QStringList{summary, body} + actions);
        return uint(100 + calls.size());
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body-markup")}; }

signals:
    void ActionInvoked(uint id, const QString &actionKey);
    void ActivationToken(uint id, const QString &token);

private:
    QDBusConnection m_bus;
};
