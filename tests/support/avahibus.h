#pragma once
// The real Avahi daemon on a system bus of the test's own: a dbus-daemon
// with open rules, and avahi-daemon (as root, in a mount namespace of its
// own so that its pid file and socket never meet another run's) on the
// loopback interface only. DBUS_SYSTEM_BUS_ADDRESS points at that bus for
// the test and the programs it starts; make one before the first use of
// QDBusConnection::systemBus(). Both daemons are ended through their own
// handles. skipReason() says why it could not start (not root, no daemon).

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>
#include <unistd.h>

class AvahiBus
{
public:
    AvahiBus()
    {
        if (getuid() != 0) {
            m_skip = "the Avahi daemon needs root to run";
            return;
        }
        for (const char *tool : {"avahi-daemon", "avahi-publish", "dbus-daemon", "unshare"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool),
                                               {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")})
                    .isEmpty()) {
                m_skip = QByteArray(tool) + " is not installed (scripts/deps.sh installs it)";
                return;
            }
        }
        if (!startBus() || !startAvahi())
            m_skip = "the private bus or the Avahi daemon did not start: " + m_log;
    }
    ~AvahiBus()
    {
        m_published.clear();
        for (QProcess *process : {&m_avahi, &m_bus}) {
            process->terminate();
            if (!process->waitForFinished(kWaitMs))
                process->kill();
            process->waitForFinished(kWaitMs);
        }
    }
    AvahiBus(const AvahiBus &) = delete;
    AvahiBus &operator=(const AvahiBus &) = delete;

    const char *skipReason() const { return m_skip.isEmpty() ? nullptr : m_skip.constData(); }

    // Another person: avahi-publish -s NAME _quill._tcp PORT TXT... (with
    // "-H host" among the arguments for another host). Ends when the
    // returned handle is reset; false from waitPublished() when the daemon
    // did not take it.
    struct Published
    {
        QProcess process;
        bool waitPublished() { return process.waitForReadyRead(kWaitMs); }
        ~Published()
        {
            process.terminate();
            if (!process.waitForFinished(kWaitMs))
                process.kill();
            process.waitForFinished(kWaitMs);
        }
    };
    Published *publish(const QStringList &arguments)
    {
        auto published = std::make_unique<Published>();
        published->process.setProcessChannelMode(QProcess::MergedChannels);
        published->process.start(QStringLiteral("avahi-publish"), arguments);
        m_published.push_back(std::move(published));
        return m_published.back().get();
    }
    // Ends one started by publish(): the person leaves.
    void unpublish(Published *published)
    {
        std::erase_if(m_published, [published](const auto &each) { return each.get() == published; });
    }

private:
    static constexpr int kWaitMs = 10000;

    bool startBus()
    {
        QFile config(m_folder.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write("<busconfig><type>system</type><auth>EXTERNAL</auth><listen>unix:path=" +
                     m_folder.filePath(QStringLiteral("bus")).toUtf8() +
                     "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/><allow user=\"*\"/></policy>"
                     // A flood test has hundreds of calls out at once.
                     "<limit name=\"max_replies_per_connection\">8192</limit></busconfig>");
        config.close();
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                     QStringLiteral("--config-file=") + config.fileName()});
        if (!m_bus.waitForStarted(kWaitMs) || !m_bus.waitForReadyRead(kWaitMs))
            return false;
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.readLine().trimmed());
        return true;
    }

    bool startAvahi()
    {
        QFile config(m_folder.filePath(QStringLiteral("avahi.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        // A host name of this run's own: two runs at once do not collide.
        config.write(
            "[server]\nhost-name=quilltest-" + QByteArray::number(QCoreApplication::applicationPid()) +
            "\ndomain-name=local\nuse-ipv4=yes\nuse-ipv6=yes\nallow-interfaces=lo\nenable-dbus=yes\n"
            "ratelimit-interval-usec=0\nentries-per-entry-group-max=4096\nobjects-per-client-max=4096\n"
            "[wide-area]\nenable-wide-area=no\n[publish]\n"
            "publish-addresses=yes\npublish-hinfo=no\npublish-workstation=no\n");
        config.close();
        // The pid file and socket live in /run/avahi-daemon: a folder of
        // this process's own is mounted there, seen by this daemon only.
        m_avahi.setProcessChannelMode(QProcess::MergedChannels);
        m_avahi.start(
            QStringLiteral("unshare"),
            {QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"),
             QStringLiteral("mkdir -p /run/avahi-daemon && mount -t tmpfs tmpfs /run/avahi-daemon && "
                            "exec avahi-daemon --no-drop-root --no-chroot --no-rlimits -f ") +
                 config.fileName()});
        const QDeadlineTimer deadline(kWaitMs);
        while (!deadline.hasExpired() && m_avahi.waitForReadyRead(int(deadline.remainingTime()))) {
            m_log += m_avahi.readAll();
            if (m_log.contains("Server startup complete"))
                return true;
        }
        m_log += m_avahi.readAll();
        return false;
    }

    QTemporaryDir m_folder;
    QProcess m_bus;
    QProcess m_avahi;
    QByteArray m_log;
    QByteArray m_skip;
    std::vector<std::unique_ptr<Published>> m_published;
};
