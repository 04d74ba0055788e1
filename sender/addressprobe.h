#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

// Checks that an address and port answer: connects and closes at once,
// sending nothing (a receiver shows nothing for such a connection). Shows
// nothing itself; finished() carries the outcome.
class AddressProbe : public QObject
{
    Q_OBJECT
public:
    static constexpr int kProbeWaitMs = 3000;

    enum class Outcome
    {
        Reachable,
        Refused,
        NoAnswer,
        Failed // any other error; the description says which
    };
    Q_ENUM(Outcome)

    explicit AddressProbe(QObject *parent = nullptr);
    ~AddressProbe() override;

    // Stops a probe under way and starts one. ip: a literal IPv4 address.
    void start(const QString &ip, quint16 port);
    void stop();
    bool isRunning() const { return m_socket; }
    void setWait(int ms) { m_timer.setInterval(ms); }
    int wait() const { return m_timer.interval(); }

signals:
    void finished(AddressProbe::Outcome outcome, const QString &description);

private:
    void finish(Outcome outcome, const QString &description);

    QPointer<QTcpSocket> m_socket;
    QTimer m_timer;
};

// What the user dialog says about a probe of ip:port.
QString probeReport(AddressProbe::Outcome outcome, const QString &description, const QString &ip,
                    quint16 port, int waitMs);
