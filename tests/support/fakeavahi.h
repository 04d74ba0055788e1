#pragma once

// A private message bus with a stand-in for the mDNS daemon on it, so that
// the D-Bus computer source is tested end to end without any network.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QTimer>

#include "privatebus.h"

struct FakeService
{
    QString name, type, host, address; // host empty: resolving it fails
};

// Announces its services of the browsed type (the first before the reply,
// as a busy daemon may) and resolves them from its table.
class FakeAvahiServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.Server")
public:
    FakeAvahiServer(QDBusConnection bus, QList<FakeService> services)
        : m_bus(std::move(bus))
        , m_services(std::move(services))
    {
        qDBusRegisterMetaType<QList<QByteArray>>(); // the TXT records, "aay"
    }

public slots:
    QDBusObjectPath ServiceBrowserNew(int interfaceIndex, int protocol, const QString &type, const QString &,
                                      uint, const QDBusMessage &call)
    {
        const QString path = QStringLiteral("/Client1/ServiceBrowser%1").arg(++m_browsers);
        bool first = true;
        for (const FakeService &service : std::as_const(m_services)) {
            if (service.type != type)
                continue;
            QDBusMessage signal = QDBusMessage::createTargetedSignal(
                call.service(), path, QStringLiteral("org.freedesktop.Avahi.ServiceBrowser"),
                QStringLiteral("ItemNew"));
            signal << interfaceIndex << protocol << service.name << service.type << QStringLiteral("local")
                   << 0u;
            if (std::exchange(first, false))
                m_bus.send(signal);
            else
                QTimer::singleShot(0, this, [this, signal] { m_bus.send(signal); });
        }
        return QDBusObjectPath(path);
    }

    void ResolveService(int interfaceIndex, int protocol, const QString &name, const QString &type,
                        const QString &domain, int addressProtocol, uint, const QDBusMessage &call)
    {
        call.setDelayedReply(true);
        for (const FakeService &service : std::as_const(m_services)) {
            if (service.name == name && service.type == type && !service.host.isEmpty()) {
                m_bus.send(call.createReply(QVariantList{interfaceIndex, protocol, name, type, domain,
                                                         service.host, addressProtocol, service.address,
                                                         QVariant::fromValue(quint16(22)),
                                                         QVariant::fromValue(QList<QByteArray>{}), 0u}));
                return;
            }
        }
        m_bus.send(call.createErrorReply(QStringLiteral("org.freedesktop.Avahi.TimeoutError"),
                                         QStringLiteral("Timeout reached")));
    }

private:
    QDBusConnection m_bus;
    QList<FakeService> m_services;
    int m_browsers = 0;
};
