#include "addressprobe.h"

#include <QTcpSocket>

namespace {

// Below this, Linux lets only programs with the capability listen.
constexpr quint16 kFirstUnprivilegedPort = 1024;

} // namespace

AddressProbe::AddressProbe(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kProbeWaitMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { finish(Outcome::NoAnswer, QString()); });
}

AddressProbe::~AddressProbe()
{
    stop();
}

void AddressProbe::start(const QString &ip, quint16 port)
{
    stop();
    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::connected, this, [this] { finish(Outcome::Reachable, QString()); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::ConnectionRefusedError)
            finish(Outcome::Refused, socket->errorString());
        else
            finish(Outcome::Failed, socket->errorString());
    });
    m_timer.start();
    // An address is taken as it is; a host name is looked up first, within the same wait.
    socket->connectToHost(ip, port);
}

void AddressProbe::stop()
{
    m_timer.stop();
    if (QTcpSocket *socket = m_socket) {
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void AddressProbe::finish(Outcome outcome, const QString &description)
{
    stop();
    emit finished(outcome, description);
}

QString probeReport(AddressProbe::Outcome outcome, const QString &description, const QString &ip,
                    quint16 port, int waitMs)
{
    const QString where = ip + QStringLiteral(" port ") + QString::number(port);
    QString text;
    switch (outcome) {
    case AddressProbe::Outcome::Reachable:
        return where + QStringLiteral(" is reachable: a program listens there.");
    case AddressProbe::Outcome::Refused:
        text = where + QStringLiteral(" refused the connection: nothing listens there.");
        break;
    case AddressProbe::Outcome::NoAnswer:
        text = where + QStringLiteral(" did not answer within ") + QString::number(waitMs / 1000.0) +
               QStringLiteral(
                   " s: the computer may be off or out of reach, or a firewall drops the connection.");
        break;
    case AddressProbe::Outcome::Failed:
        text = where + QStringLiteral(" could not be reached: ") + description;
        break;
    }
    if (port < kFirstUnprivilegedPort)
        text += QStringLiteral("\nOn Linux, Quillbox can listen on port ") + QString::number(port) +
                QStringLiteral(" only with the cap_net_bind_service capability (see \"Port 505 on Linux\" in "
                               "the README).");
    return text;
}
