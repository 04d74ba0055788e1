#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class ComputerSource;
class QHostInfo;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTimer;

// A host lookup that never blocks the window: the answer arrives as a signal,
// at the latest after kHostLookupTimeoutMs.
constexpr int kHostLookupTimeoutMs =
    10000; // longer than the resolver's usual retries, short enough to wait for

class HostLookup : public QObject
{
    Q_OBJECT
public:
    explicit HostLookup(QObject *parent = nullptr);
    ~HostLookup() override;

    // Looks name up; finished follows exactly once unless abort() comes first.
    void start(const QString &name);
    void abort();
    bool busy() const { return m_id >= 0; }

signals:
    // The first IPv4 address of the host, or empty when it has none or the
    // lookup failed or took too long.
    void finished(const QString &address);

private:
    void finish(const QString &address);

    int m_id = -1;
    QTimer *m_timer = nullptr;
};

// The first IPv4 address among the answer's addresses, in dotted form.
QString firstIpv4Address(const QHostInfo &info);

// The dotted IPv4 address of the host, or empty when it cannot be found. The
// name is trimmed of surrounding blanks in the caller's variable. Waits in a
// local event loop, so the windows keep painting and answering meanwhile.
QString resolveHostAddress(QString &hostName);

// The modal "Select a network computer." dialog: the computers the source
// finds, or a name typed by the user, resolved to an IPv4 address on OK.
class ComputerPicker : public QDialog
{
    Q_OBJECT
public:
    // source may be null: the list then stays empty and a name can be typed.
    ComputerPicker(std::unique_ptr<ComputerSource> source, QWidget *owner);
    ~ComputerPicker() override;

    // After an accepted close: the chosen name, and its address (empty when
    // the name did not resolve).
    QString computerName() const { return m_chosenName; }
    QString address() const { return m_address; }

    void accept() override;
    void reject() override;

private:
    QDialogButtonBox *createControls();
    void addComputer(const QString &name, const QString &hostName, const QString &address);
    void showNote(const QString &note);
    void lookupFinished(const QString &address);

    std::unique_ptr<ComputerSource> m_source;
    HostLookup *m_lookup = nullptr;
    QListWidget *m_list = nullptr;
    QLineEdit *m_name = nullptr;
    QLabel *m_note = nullptr;
    QPushButton *m_ok = nullptr;
    QString m_chosenName;
    QString m_announcedAddress; // what the network announced for the chosen computer
    QString m_address;
};

// Lets the user pick a computer on the network and resolves its name. True
// when a computer was chosen and its name resolved; then both outputs are set.
bool browseNetworkComputer(QWidget *owner, QString &address, QString &computerName);
