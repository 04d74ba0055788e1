#pragma once

#include "presence.h"

#include <QDBusConnection>
#include <QObject>

class QDBusMessage;
class QDBusServiceWatcher;

// Announces Quillbox's user on the network while it listens: one _quill._tcp
// service in an entry group of the Avahi daemon on the system bus. Every bus
// call is asynchronous with a deadline; with no daemon, no bus or a refusal
// the state says so and nothing else happens. A daemon that starts (or
// starts again) later is announced to. On a name collision the name the
// daemon proposes is taken.
class PresenceAnnouncer : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Off,         // nothing announced (withdrawn, or not asked to)
        Registering, // on its way to the daemon
        Established, // the daemon announces it
        Failed       // no daemon, no bus, or the daemon refused
    };
    Q_ENUM(State)

    static constexpr int kBusCallTimeoutMs = 5000;
    // Collisions in a row before giving up (each takes the next proposed name).
    static constexpr int kMaxRenames = 16;

    explicit PresenceAnnouncer(const QDBusConnection &bus, QObject *parent = nullptr);
    ~PresenceAnnouncer() override;

    // Announces record under the user's name on port, or follows a change of
    // either; the same again changes nothing.
    void announce(const PresenceRecord &record, quint16 port);
    // Withdraws the service.
    void withdraw();

    State state() const { return m_state; }
    // The instance name in use (after collisions, the one the daemon proposed).
    QString instanceName() const { return m_instanceName; }

signals:
    void stateChanged(PresenceAnnouncer::State state);

private slots:
    void onGroupStateChanged(int state, const QString &error, const QDBusMessage &message);

private:
    void publish();
    void addService();
    void commit();
    void takeAlternativeName();
    void freeGroup();
    void setState(State state);
    // Calls method and hands a good answer to then; an error or no answer by
    // the deadline ends in Failed, an answer to an older publish() in nothing.
    template <typename Then>
    void call(const QString &path, const QString &interface, const QString &method, const QVariantList &args,
              Then then);

    QDBusConnection m_bus;
    QDBusServiceWatcher *m_daemonWatcher;
    PresenceRecord m_record;
    quint16 m_port = 0;
    bool m_wanted = false;
    QString m_instanceName;
    QString m_groupPath;
    int m_generation = 0;
    int m_renames = 0;
    State m_state = State::Off;
};
