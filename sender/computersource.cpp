#include "computersource.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QHostAddress>

namespace {

const QString kAvahiService = QStringLiteral("org.freedesktop.Avahi");
const QString kAvahiServer = QStringLiteral("org.freedesktop.Avahi.Server");
const QString kAvahiBrowser = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");

// Avahi's constants for "any network interface", "IPv4" and "IPv4 or IPv6".
constexpr int kAnyInterface = -1;
constexpr int kProtocolIpv4 = 0;
constexpr int kAnyProtocol = -1;

// A bus call that does not answer in this time is not going to.
constexpr int kBusCallTimeoutMs = 5000;
// Each announced service costs one resolve call; a crowded network must not
// turn that into an unbounded stream of calls.
constexpr int kMaxServicesResolved = 512;

ComputerSourceFactory &Factory()
{
    static ComputerSourceFactory factory;
    return factory;
}

// "desk.local" is shown as "desk"; other domains keep their full name.
QString shownName(const QString &hostName)
{
    QString name = hostName;
    if (name.endsWith(u'.'))
        name.chop(1);
    const QString local = QStringLiteral(".local");
    if (name.endsWith(local, Qt::CaseInsensitive))
        name.chop(local.size());
    return name;
}

} // namespace

std::unique_ptr<ComputerSource> createComputerSource()
{
    if (Factory())
        return Factory()();
    return std::make_unique<AvahiComputerSource>(QDBusConnection::systemBus());
}

void setComputerSourceFactory(ComputerSourceFactory factory)
{
    Factory() = std::move(factory);
}

AvahiComputerSource::AvahiComputerSource(const QDBusConnection &bus, QObject *parent)
    : ComputerSource(parent)
    , m_bus(bus)
{}

AvahiComputerSource::~AvahiComputerSource()
{
    if (m_connected) {
        m_bus.disconnect(kAvahiService, QString(), kAvahiBrowser, QStringLiteral("ItemNew"), this,
                         SLOT(onItemNew(int, int, QString, QString, QString, uint)));
    }
    // The daemon would free them when this connection closes; the system bus
    // connection lives on, so say so now.
    for (const QString &path : std::as_const(m_browserPaths))
        m_bus.send(
            QDBusMessage::createMethodCall(kAvahiService, path, kAvahiBrowser, QStringLiteral("Free")));
}

QStringList AvahiComputerSource::serviceTypes()
{
    return {QStringLiteral("_workstation._tcp"), QStringLiteral("_device-info._tcp"),
            QStringLiteral("_smb._tcp"),         QStringLiteral("_sftp-ssh._tcp"),
            QStringLiteral("_ssh._tcp"),         QStringLiteral("_afpovertcp._tcp"),
            QStringLiteral("_nfs._tcp"),         QStringLiteral("_rfb._tcp"),
            QStringLiteral("_ftp._tcp"),         QStringLiteral("_webdav._tcp")};
}

void AvahiComputerSource::start()
{
    if (!m_bus.isConnected()) {
        browserFailed();
        return;
    }
    // The daemon addresses a browser's signals to the connection that made
    // it, so listening before the browsers exist loses no early answer.
    m_connected = m_bus.connect(kAvahiService, QString(), kAvahiBrowser, QStringLiteral("ItemNew"), this,
                                SLOT(onItemNew(int, int, QString, QString, QString, uint)));
    const QStringList types = serviceTypes();
    for (const QString &type : types)
        browseType(type);
}

void AvahiComputerSource::browseType(const QString &type)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kAvahiService, QStringLiteral("/"), kAvahiServer,
                                                       QStringLiteral("ServiceBrowserNew"));
    call << kAnyInterface << kAnyProtocol << type << QString() << 0u;
    ++m_browsersPending;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kBusCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        --m_browsersPending;
        const QDBusPendingReply<QDBusObjectPath> reply = *finished;
        if (reply.isError()) {
            if (m_browsersPending == 0 && m_browserPaths.isEmpty())
                browserFailed();
            return;
        }
        m_browserPaths.append(reply.value().path());
    });
}

void AvahiComputerSource::browserFailed()
{
    if (m_reportedUnavailable)
        return;
    m_reportedUnavailable = true;
    emit unavailable(tr("The network browsing service (avahi-daemon) is not running, so no computers are "
                        "listed. Type a computer name or address instead."));
}

void AvahiComputerSource::onItemNew(int interfaceIndex, int protocol, const QString &name,
                                    const QString &type, const QString &domain, uint flags)
{
    Q_UNUSED(flags);
    // The same service shows up once per interface and protocol; one answer is enough.
    const QString key = name + u'\n' + type + u'\n' + domain;
    if (m_servicesAsked.contains(key) || m_servicesAsked.size() >= kMaxServicesResolved)
        return;
    m_servicesAsked.insert(key);
    resolveService(interfaceIndex, protocol, name, type, domain);
}

void AvahiComputerSource::resolveService(int interfaceIndex, int protocol, const QString &name,
                                         const QString &type, const QString &domain)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kAvahiService, QStringLiteral("/"), kAvahiServer,
                                                       QStringLiteral("ResolveService"));
    call << interfaceIndex << protocol << name << type << domain << kProtocolIpv4 << 0u;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kBusCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusMessage reply = finished->reply();
        // (interface, protocol, name, type, domain, host, aprotocol, address, port, txt, flags)
        constexpr int kHostArgument = 5;
        constexpr int kAddressArgument = 7;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() <= kAddressArgument)
            return; // a computer that went away, or offers no IPv4 address
        const QString hostName = reply.arguments().at(kHostArgument).toString();
        QString address = reply.arguments().at(kAddressArgument).toString();
        const QHostAddress parsed(address);
        address = parsed.protocol() == QAbstractSocket::IPv4Protocol ? parsed.toString() : QString();
        const QString shown = shownName(hostName);
        if (shown.isEmpty() || m_hostsReported.contains(shown.toLower()))
            return;
        m_hostsReported.insert(shown.toLower());
        emit computerFound(shown, hostName, address);
    });
}
