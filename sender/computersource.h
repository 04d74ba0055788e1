#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <functional>
#include <memory>

// Where the network computer picker learns which computers are around. A
// source reports what it finds as answers come in; it never blocks.
class ComputerSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Begins looking; answers arrive later through the signals.
    virtual void start() = 0;

signals:
    // name: what the user sees and takes as the user's name; hostName: the
    // name to look up; address: an IPv4 address the network announced with
    // it, or empty when it announced none.
    void computerFound(const QString &name, const QString &hostName, const QString &address);
    // The source cannot look (no service to ask): a note for the user.
    void unavailable(const QString &note);
};

// The source the picker uses: the DNS-SD browser below, unless a test has
// put its own in place.
using ComputerSourceFactory = std::function<std::unique_ptr<ComputerSource>()>;
std::unique_ptr<ComputerSource> createComputerSource();
// An empty function restores the real source.
void setComputerSourceFactory(ComputerSourceFactory factory);

// Computers that announce themselves by multicast DNS service discovery,
// through the Avahi daemon on the system bus: workstations, file servers,
// machines offering a remote shell or desktop.
class AvahiComputerSource : public ComputerSource
{
    Q_OBJECT
public:
    explicit AvahiComputerSource(const QDBusConnection &bus, QObject *parent = nullptr);
    ~AvahiComputerSource() override;

    void start() override;

    // Service types that computers (not printers or media players) announce.
    static QStringList serviceTypes();

private slots:
    void onItemNew(int interfaceIndex, int protocol, const QString &name, const QString &type,
                   const QString &domain, uint flags);

private:
    void browseType(const QString &type);
    void browserFailed();
    void resolveService(int interfaceIndex, int protocol, const QString &name, const QString &type,
                        const QString &domain);

    QDBusConnection m_bus;
    bool m_connected = false;
    int m_browsersPending = 0;
    bool m_reportedUnavailable = false;
    QStringList m_browserPaths;
    QSet<QString> m_servicesAsked;
    QSet<QString> m_hostsReported;
};
