#include "presencebrowser.h"

#include "logging.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QHostAddress>
#include <algorithm>

namespace {

const QString kAvahiService = QStringLiteral("org.freedesktop.Avahi");
const QString kAvahiServer = QStringLiteral("org.freedesktop.Avahi.Server");
const QString kServiceBrowser = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
const QString kDomainBrowser = QStringLiteral("org.freedesktop.Avahi.DomainBrowser");

constexpr int kAny = -1;
constexpr int kProtocolIpv4 = 0;
constexpr int kBrowseDomains = 0; // AVAHI_DOMAIN_BROWSER_BROWSE
// Host names and domains are DNS names: at most 255 bytes.
constexpr int kMaxDnsName = 255;

// "local", "local." and "" are the same domain.
QString domainKey(const QString &domain)
{
    QString key = domain.left(kMaxDnsName).toLower();
    if (key.endsWith(u'.'))
        key.chop(1);
    return key.isEmpty() ? QStringLiteral("local") : key;
}

QString serviceKey(const QString &name, const QString &domain)
{
    return name.left(kMaxInstanceNameBytes) + u'\n' + domainKey(domain);
}

} // namespace

PresenceBrowser::PresenceBrowser(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    // The TXT record travels as an array of byte arrays ("aay").
    qDBusRegisterMetaType<QByteArrayList>();
}

PresenceBrowser::~PresenceBrowser()
{
    if (m_started) {
        m_bus.disconnect(kAvahiService, QString(), kServiceBrowser, QStringLiteral("ItemNew"), this,
                         SLOT(onItemNew(int, int, QString, QString, QString, uint, QDBusMessage)));
        m_bus.disconnect(kAvahiService, QString(), kServiceBrowser, QStringLiteral("ItemRemove"), this,
                         SLOT(onItemRemove(int, int, QString, QString, QString, uint, QDBusMessage)));
        m_bus.disconnect(kAvahiService, QString(), kDomainBrowser, QStringLiteral("ItemNew"), this,
                         SLOT(onDomainNew(int, int, QString, uint, QDBusMessage)));
    }
    // The system bus connection outlives this browser: free its browsers now.
    for (const QString &path : std::as_const(m_browserPaths)) {
        const bool domains = path.contains(QStringLiteral("DomainBrowser"));
        m_bus.send(QDBusMessage::createMethodCall(
            kAvahiService, path, domains ? kDomainBrowser : kServiceBrowser, QStringLiteral("Free")));
    }
}

template <typename Then>
void PresenceBrowser::call(const QString &method, const QVariantList &args, Then then)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(kAvahiService, QStringLiteral("/"), kAvahiServer, method);
    message.setArguments(args);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kBusCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [then](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        then(finished->reply());
    });
}

void PresenceBrowser::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_bus.isConnected()) {
        failed();
        return;
    }
    // The daemon sends a browser's signals to the connection that made it,
    // so listening first loses no early answer.
    m_bus.connect(kAvahiService, QString(), kServiceBrowser, QStringLiteral("ItemNew"), this,
                  SLOT(onItemNew(int, int, QString, QString, QString, uint, QDBusMessage)));
    m_bus.connect(kAvahiService, QString(), kServiceBrowser, QStringLiteral("ItemRemove"), this,
                  SLOT(onItemRemove(int, int, QString, QString, QString, uint, QDBusMessage)));
    m_bus.connect(kAvahiService, QString(), kDomainBrowser, QStringLiteral("ItemNew"), this,
                  SLOT(onDomainNew(int, int, QString, uint, QDBusMessage)));
    browseDomain(QString());
    call(QStringLiteral("DomainBrowserNew"), {kAny, kAny, QString(), kBrowseDomains, 0u},
         [this](const QDBusMessage &reply) {
             const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
             if (!path.isEmpty())
                 m_browserPaths.append(path);
         });
}

void PresenceBrowser::failed()
{
    if (m_failed)
        return;
    m_failed = true;
    emit unavailable();
}

void PresenceBrowser::browseDomain(const QString &domain)
{
    const QString key = domainKey(domain);
    if (m_domains.contains(key) || m_domains.size() >= kMaxDomains)
        return;
    m_domains.insert(key);
    call(QStringLiteral("ServiceBrowserNew"), {kAny, kAny, kPresenceServiceType, domain, 0u},
         [this](const QDBusMessage &reply) {
             const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
             if (reply.type() != QDBusMessage::ReplyMessage || path.isEmpty()) {
                 qCInfo(lcDirectory) << "no presence browsing:" << reply.errorName();
                 if (m_browserPaths.isEmpty())
                     failed();
                 return;
             }
             m_browserPaths.append(path);
         });
}

void PresenceBrowser::onDomainNew(int interfaceIndex, int protocol, const QString &domain, uint flags,
                                  const QDBusMessage &message)
{
    Q_UNUSED(interfaceIndex);
    Q_UNUSED(protocol);
    Q_UNUSED(flags);
    if (m_browserPaths.contains(message.path()))
        browseDomain(domain.left(kMaxDnsName));
}

void PresenceBrowser::onItemNew(int interfaceIndex, int protocol, const QString &name, const QString &type,
                                const QString &domain, uint flags, const QDBusMessage &message)
{
    Q_UNUSED(flags);
    if (type != kPresenceServiceType || !m_browserPaths.contains(message.path()))
        return;
    const QString key = serviceKey(name, domain);
    const auto found = m_services.find(key);
    // Interfaces and protocols are small numbers; the pair as one.
    const int where = interfaceIndex * 4 + protocol;
    if (found != m_services.end()) {
        found->insert(where);
        // An IPv4 address is preferred: asked again when one may be there.
        if (protocol == kProtocolIpv4 && !hasIpv4(key))
            resolve({interfaceIndex, protocol, name, domain});
        return;
    }
    if (m_services.size() >= kMaxServices)
        return;
    m_services.insert(key, {where});
    resolve({interfaceIndex, protocol, name, domain});
}

void PresenceBrowser::onItemRemove(int interfaceIndex, int protocol, const QString &name, const QString &type,
                                   const QString &domain, uint flags, const QDBusMessage &message)
{
    Q_UNUSED(flags);
    if (type != kPresenceServiceType || !m_browserPaths.contains(message.path()))
        return;
    const QString key = serviceKey(name, domain);
    const auto found = m_services.find(key);
    if (found == m_services.end())
        return;
    found->remove(interfaceIndex * 4 + protocol);
    if (!found->isEmpty())
        return;
    m_services.erase(found);
    const qsizetype removed = m_people.removeIf(
        [&key](const PresencePerson &person) { return serviceKey(person.instance, person.domain) == key; });
    if (removed > 0)
        emit changed();
}

void PresenceBrowser::resolve(const Sighting &sighting)
{
    m_toResolve.append(sighting);
    resolveNext();
}

void PresenceBrowser::resolveNext()
{
    while (m_resolving < kMaxResolving && !m_toResolve.isEmpty()) {
        const Sighting sighting = m_toResolve.takeFirst();
        const QString key = serviceKey(sighting.name, sighting.domain);
        if (!m_services.contains(key))
            continue; // gone while it waited
        ++m_resolving;
        // The address of the protocol the service was seen on: IPv4 for an IPv4 sighting.
        call(QStringLiteral("ResolveService"),
             {sighting.interfaceIndex, sighting.protocol, sighting.name, kPresenceServiceType,
              sighting.domain, sighting.protocol, 0u},
             [this, key, sighting](const QDBusMessage &reply) {
                 --m_resolving;
                 if (reply.type() == QDBusMessage::ReplyMessage) {
                     resolved(key, reply);
                 } else if (sighting.attempt < kResolveAttempts && m_services.contains(key)) {
                     Sighting again = sighting;
                     ++again.attempt;
                     m_toResolve.append(again);
                 }
                 resolveNext();
             });
    }
}

void PresenceBrowser::resolved(const QString &key, const QDBusMessage &reply)
{
    // (interface, protocol, name, type, domain, host, aprotocol, address, port, txt, flags)
    const QVariantList args = reply.arguments();
    if (args.size() < 10 || !m_services.contains(key))
        return; // gone meanwhile, or no answer by the deadline
    QList<QByteArray> txt;
    const QDBusArgument txtArgument = args.at(9).value<QDBusArgument>();
    txtArgument >> txt;
    const std::optional<PresenceRecord> record = readPresenceTxt(txt);
    const QHostAddress address(args.at(7).toString());
    if (!record || address.isNull() || args.at(8).toUInt() == 0)
        return;
    PresencePerson person{args.at(2).toString().left(kMaxInstanceNameBytes),
                          args.at(4).toString().left(kMaxDnsName),
                          *record,
                          args.at(5).toString().left(kMaxDnsName),
                          address.toString(),
                          quint16(args.at(8).toUInt())};
    for (PresencePerson &known : m_people) {
        if (serviceKey(known.instance, known.domain) == key) {
            if (address.protocol() != QAbstractSocket::IPv4Protocol && hasIpv4(key) &&
                known.port == person.port)
                return;
            known = person;
            emit changed();
            return;
        }
    }
    if (m_people.size() >= kMaxPeople)
        return;
    m_people.append(person);
    emit changed();
}

bool PresenceBrowser::hasIpv4(const QString &key) const
{
    return std::any_of(m_people.cbegin(), m_people.cend(), [&key](const PresencePerson &person) {
        return serviceKey(person.instance, person.domain) == key &&
               QHostAddress(person.address).protocol() == QAbstractSocket::IPv4Protocol;
    });
}

const PresencePerson *PresenceBrowser::personWithId(const QString &id) const
{
    for (const PresencePerson &person : m_people) {
        if (person.record.id == id)
            return &person;
    }
    return nullptr;
}

QList<PresencePerson> PresenceBrowser::peopleNamed(const QString &name) const
{
    QList<PresencePerson> named;
    for (const PresencePerson &person : m_people) {
        if (person.record.name == name)
            named.append(person);
    }
    return named;
}
