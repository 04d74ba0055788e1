#include "youripdialog.h"

#include "positionkeeper.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kPositionPrefix = QStringLiteral("Your IP ");
const QString kLoopback = QStringLiteral("127.0.0.1");

// How well others can reach an address: a private LAN address is what a
// peer on the same network uses; a public one serves too; link-local
// addresses (169.254.x.x) only reach the same link by chance.
int addressPreference(const QHostAddress &address)
{
    if (address.isLinkLocal())
        return 1;
    static const QList<QPair<QHostAddress, int>> privateRanges = {
        QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")),
        QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12")),
        QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16")),
    };
    for (const auto &range : privateRanges) {
        if (address.isInSubnet(range))
            return 3;
    }
    return 2;
}
} // namespace

QString reachableIpv4Address(const QList<InterfaceAddresses> &interfaces)
{
    QString best;
    int bestPreference = 0;
    for (const InterfaceAddresses &interface : interfaces) {
        const auto flags = interface.flags;
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QHostAddress &address : interface.addresses) {
            if (address.protocol() != QAbstractSocket::IPv4Protocol || address.isLoopback())
                continue;
            const int preference = addressPreference(address);
            if (preference > bestPreference) {
                best = address.toString();
                bestPreference = preference;
            }
        }
    }
    return best.isEmpty() ? kLoopback : best;
}

QString reachableIpv4Address()
{
    QList<InterfaceAddresses> interfaces;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        InterfaceAddresses entry{interface.flags(), {}};
        for (const QNetworkAddressEntry &address : interface.addressEntries())
            entry.addresses.append(address.ip());
        interfaces.append(entry);
    }
    return reachableIpv4Address(interfaces);
}

YourIpDialog::YourIpDialog(SettingsStore &store, QWidget *owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("YourIP"));
    setWindowTitle(tr("Your IP is..."));
    auto *layout = new QVBoxLayout(this);
    auto *frame = new QGroupBox(tr("IP"), this);
    frame->setObjectName(QStringLiteral("frm"));
    auto *frameLayout = new QVBoxLayout(frame);
    auto *number = new QLineEdit(frame);
    number->setObjectName(QStringLiteral("youripnumber"));
    number->setAccessibleName(tr("Your IP address"));
    number->setReadOnly(true);
    number->setText(reachableIpv4Address());
    frameLayout->addWidget(number);
    layout->addWidget(frame);
    auto *ok = new QPushButton(tr("Ok"), this);
    ok->setObjectName(QStringLiteral("ReturnCmd"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok);
    adjustSize();
    (new PositionKeeper(this, store, kPositionPrefix))->place();
}

YourIpDialog::~YourIpDialog() = default;
