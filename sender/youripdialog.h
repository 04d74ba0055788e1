#pragma once

#include <QDialog>
#include <QList>
#include <QNetworkInterface>

class SettingsStore;

// What the address choice needs to know of one network interface.
struct InterfaceAddresses
{
    QNetworkInterface::InterfaceFlags flags;
    QList<QHostAddress> addresses;
};

// An IPv4 address of this machine that others on the network can reach,
// from the given interfaces; "127.0.0.1" when there is none. Nothing is
// sent on the network.
QString reachableIpv4Address(const QList<InterfaceAddresses> &interfaces);
QString reachableIpv4Address();

// "Your IP is...": shows the machine's address, selectable and copyable.
class YourIpDialog : public QDialog
{
    Q_OBJECT
public:
    YourIpDialog(SettingsStore &store, QWidget *owner);
    ~YourIpDialog() override;

private:
};
