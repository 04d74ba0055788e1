#pragma once
// A dbus-daemon of the test's own, on a socket in a temporary folder, ended
// through its own handle. It starts no service on demand, so what answers on
// it is only what the test put there.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

class PrivateBus
{
public:
    PrivateBus()
    {
        QFile config(m_folder.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return;
        // A session bus's rules without its service folders.
        config.write("<busconfig><type>session</type><auth>EXTERNAL</auth><listen>unix:path=" +
                     m_folder.filePath(QStringLiteral("bus")).toUtf8() +
                     "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        config.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                        QStringLiteral("--config-file=") + config.fileName()});
        if (m_daemon.waitForStarted(kWaitMs) && m_daemon.waitForReadyRead(kWaitMs))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(kWaitMs))
            m_daemon.kill();
        m_daemon.waitForFinished(kWaitMs);
    }
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;
    QString address() const { return m_address; } // empty when it did not start

private:
    static constexpr int kWaitMs = 5000;
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
};
