#include "presenceannouncer.h"

#include "logging.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace {

const QString kAvahiService = QStringLiteral("org.freedesktop.Avahi");
const QString kAvahiServer = QStringLiteral("org.freedesktop.Avahi.Server");
const QString kEntryGroup = QStringLiteral("org.freedesktop.Avahi.EntryGroup");
const QString kCollisionError = QStringLiteral("org.freedesktop.Avahi.CollisionError");

// Avahi's entry group states and its "any interface / protocol".
constexpr int kGroupEstablished = 2;
constexpr int kGroupCollision = 3;
constexpr int kGroupFailure = 4;
constexpr int kAny = -1;

} // namespace

PresenceAnnouncer::PresenceAnnouncer(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_daemonWatcher(new QDBusServiceWatcher(
          kAvahiService, bus,
          QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this))
{
    // The TXT record travels as an array of byte arrays ("aay").
    qDBusRegisterMetaType<QByteArrayList>();
    // A daemon that (re)starts knows nothing of us: announce again.
    connect(m_daemonWatcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        m_groupPath.clear();
        publish();
    });
    connect(m_daemonWatcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        m_groupPath.clear();
        ++m_generation;
        if (m_wanted)
            setState(State::Failed);
    });
}

PresenceAnnouncer::~PresenceAnnouncer()
{
    freeGroup();
}

void PresenceAnnouncer::announce(const PresenceRecord &record, quint16 port)
{
    if (m_wanted && record == m_record && port == m_port && m_state != State::Failed)
        return;
    m_wanted = true;
    m_renames = 0;
    m_record = record;
    m_port = port;
    m_instanceName = presenceInstanceName(record.name);
    publish();
}

void PresenceAnnouncer::withdraw()
{
    m_wanted = false;
    publish();
}

void PresenceAnnouncer::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void PresenceAnnouncer::freeGroup()
{
    if (m_groupPath.isEmpty())
        return;
    m_bus.disconnect(kAvahiService, m_groupPath, kEntryGroup, QStringLiteral("StateChanged"), this,
                     SLOT(onGroupStateChanged(int, QString, QDBusMessage)));
    // No answer is awaited: the daemon drops the group and its service.
    m_bus.send(
        QDBusMessage::createMethodCall(kAvahiService, m_groupPath, kEntryGroup, QStringLiteral("Free")));
    m_groupPath.clear();
}

template <typename Then>
void PresenceAnnouncer::call(const QString &path, const QString &interface, const QString &method,
                             const QVariantList &args, Then then)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kAvahiService, path, interface, method);
    message.setArguments(args);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kBusCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, then, generation = m_generation](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (generation != m_generation)
                    return; // an answer to what was replaced since
                const QDBusMessage reply = finished->reply();
                if (reply.type() == QDBusMessage::ReplyMessage) {
                    then(reply);
                } else if (reply.errorName() == kCollisionError) {
                    takeAlternativeName();
                } else {
                    qCInfo(lcNetwork)
                        << "presence not announced:" << reply.errorName() << reply.errorMessage();
                    setState(State::Failed);
                }
            });
}

void PresenceAnnouncer::publish()
{
    ++m_generation;
    freeGroup();
    if (!m_wanted) {
        setState(State::Off);
        return;
    }
    if (!m_bus.isConnected()) {
        setState(State::Failed);
        return;
    }
    setState(State::Registering);
    call(QStringLiteral("/"), kAvahiServer, QStringLiteral("EntryGroupNew"), {},
         [this](const QDBusMessage &reply) {
             const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
             if (path.isEmpty()) {
                 setState(State::Failed);
                 return;
             }
             m_groupPath = path;
             // Listening before the commit: no state change can be missed.
             m_bus.connect(kAvahiService, m_groupPath, kEntryGroup, QStringLiteral("StateChanged"), this,
                           SLOT(onGroupStateChanged(int, QString, QDBusMessage)));
             addService();
         });
}

void PresenceAnnouncer::addService()
{
    const QVariantList args{kAny,
                            kAny,
                            0u,
                            m_instanceName,
                            kPresenceServiceType,
                            QString(),
                            QString(),
                            QVariant::fromValue(m_port),
                            QVariant::fromValue(presenceTxt(m_record))};
    call(m_groupPath, kEntryGroup, QStringLiteral("AddService"), args,
         [this](const QDBusMessage &) { commit(); });
}

void PresenceAnnouncer::commit()
{
    call(m_groupPath, kEntryGroup, QStringLiteral("Commit"), {}, [](const QDBusMessage &) {});
}

void PresenceAnnouncer::takeAlternativeName()
{
    if (++m_renames > kMaxRenames) {
        setState(State::Failed);
        return;
    }
    call(QStringLiteral("/"), kAvahiServer, QStringLiteral("GetAlternativeServiceName"), {m_instanceName},
         [this](const QDBusMessage &reply) {
             const QString proposed = reply.arguments().value(0).toString();
             if (proposed.isEmpty() || proposed == m_instanceName) {
                 setState(State::Failed);
                 return;
             }
             m_instanceName = proposed;
             publish();
         });
}

void PresenceAnnouncer::onGroupStateChanged(int state, const QString &error, const QDBusMessage &message)
{
    if (message.path() != m_groupPath)
        return;
    if (state == kGroupEstablished) {
        m_renames = 0;
        setState(State::Established);
    } else if (state == kGroupCollision) {
        takeAlternativeName();
    } else if (state == kGroupFailure) {
        qCInfo(lcNetwork) << "presence not announced:" << error;
        setState(State::Failed);
    }
}
