#include "addressprobe.h"

#include <QCoreApplication>
#include <QHostAddress>
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
    const QString where =
        QCoreApplication::translate("AddressProbe", "%1 port %2").arg(ip, QString::number(port));
    QString text;
    switch (outcome) {
    case AddressProbe::Outcome::Reachable:
        return QCoreApplication::translate("AddressProbe", "%1 is reachable: a program listens there.")
            .arg(where);
    case AddressProbe::Outcome::Refused:
        text =
            QCoreApplication::translate("AddressProbe", "%1 refused the connection: nothing listens there.")
                .arg(where);
        break;
    case AddressProbe::Outcome::NoAnswer:
        text = QCoreApplication::translate(
                   "AddressProbe",
                   "%1 did not answer within %2 s: the computer may be off or out of reach, or a "
                   "firewall drops the connection.")
                   .arg(where, QString::number(waitMs / 1000.0));
        break;
    case AddressProbe::Outcome::Failed:
        text = QCoreApplication::translate("AddressProbe", "%1 could not be reached: %2")
                   .arg(where, description);
        break;
    }
    if (port < kFirstUnprivilegedPort)
        text += QCoreApplication::translate(
                    "AddressProbe",
                    "\nOn Linux, Quillbox can listen on port %1 only with the cap_net_bind_service "
                    "capability (see \"Port 505 on Linux\" in the README).")
                    .arg(port);
    return text;
}
