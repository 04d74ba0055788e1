#pragma once

#include "presence.h"

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>

class QDBusMessage;

// One Quill user whose Quillbox announces itself on the network.
struct PresencePerson
{
    QString instance;      // the service's instance name
    QString domain;        // the browse domain it was found in
    PresenceRecord record; // name, id and reply port from its TXT record
    QString hostName;
    QString address; // an IPv4 address when it has one, else an IPv6 one
    quint16 port = 0;
};

// Finds the people online: browses _quill._tcp in every browse domain the
// Avahi daemon offers (its domain browser, so unicast DNS-SD zones count as
// well as .local), resolves each service to its address, port and TXT, and
// keeps a bounded list. Everything on the bus is asynchronous with a
// deadline; without a daemon the list stays empty and unavailable() says so.
// What the network says is untrusted: every field is bounded, and so are the
// services looked at and the people kept.
class PresenceBrowser : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxPeople = 512;
    // Services seen (resolved or waiting); more are ignored until some leave.
    static constexpr int kMaxServices = 2048;
    static constexpr int kMaxDomains = 8;
    static constexpr int kBusCallTimeoutMs = 5000;
    // Resolutions under way at once; the rest wait their turn, so a crowd
    // does not swamp the daemon (which then answers none in time).
    static constexpr int kMaxResolving = 16;
    // A resolution that gets no answer is tried this often in all.
    static constexpr int kResolveAttempts = 3;

    explicit PresenceBrowser(const QDBusConnection &bus, QObject *parent = nullptr);
    ~PresenceBrowser() override;

    // Begins browsing; changed() follows as people come and go.
    void start();
    const QList<PresencePerson> &people() const { return m_people; }
    // The person announcing id, or null.
    const PresencePerson *personWithId(const QString &id) const;
    // The people announcing this name (letter case counts).
    QList<PresencePerson> peopleNamed(const QString &name) const;
    // Services seen, and whether some still wait for their address.
    qsizetype servicesSeen() const { return m_services.size(); }
    bool isResolving() const { return m_resolving > 0 || !m_toResolve.isEmpty(); }

signals:
    void changed();
    void unavailable();

private slots:
    void onDomainNew(int interfaceIndex, int protocol, const QString &domain, uint flags,
                     const QDBusMessage &message);
    void onItemNew(int interfaceIndex, int protocol, const QString &name, const QString &type,
                   const QString &domain, uint flags, const QDBusMessage &message);
    void onItemRemove(int interfaceIndex, int protocol, const QString &name, const QString &type,
                      const QString &domain, uint flags, const QDBusMessage &message);

private:
    void browseDomain(const QString &domain);
    struct Sighting
    {
        int interfaceIndex;
        int protocol;
        QString name;
        QString domain;
        int attempt = 1;
    };
    void resolve(const Sighting &sighting);
    void resolveNext();
    void resolved(const QString &key, const QDBusMessage &reply);
    void failed();
    bool hasIpv4(const QString &key) const;
    template <typename Then> void call(const QString &method, const QVariantList &args, Then then);

    QDBusConnection m_bus;
    QStringList m_browserPaths;
    QSet<QString> m_domains;
    // Each service (name and domain) with the interfaces and protocols it is
    // seen on: it is gone when the last of them is.
    QHash<QString, QSet<int>> m_services;
    QList<PresencePerson> m_people;
    QList<Sighting> m_toResolve; // at most one per service of m_services
    int m_resolving = 0;
    bool m_failed = false;
    bool m_started = false;
};
