#include "computerpicker.h"

#include "computersource.h"
#include "fieldchecks.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// A network full of announcing machines still makes a list one can read.
constexpr int kMaxListedComputers = 1024;
// After this long without an answer the network is taken to be quiet.
constexpr int kQuietNetworkMs = 5000;
// The longest name the resolver accepts (a DNS name is at most 253 characters).
constexpr int kMaxComputerNameLength = 253;

enum ItemRole
{
    HostNameRole = Qt::UserRole,
    AddressRole
};

} // namespace

HostLookup::HostLookup(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        abort();
        emit finished(QString());
    });
}

HostLookup::~HostLookup()
{
    abort();
}

void HostLookup::start(const QString &name)
{
    abort();
    m_timer->start(kHostLookupTimeoutMs);
    // The answer is delivered to this object; an aborted or destroyed lookup
    // never calls back.
    m_id = QHostInfo::lookupHost(name, this, [this](const QHostInfo &info) {
        if (info.lookupId() == m_id)
            finish(firstIpv4Address(info));
    });
}

void HostLookup::abort()
{
    if (m_id >= 0)
        QHostInfo::abortHostLookup(m_id);
    m_id = -1;
    m_timer->stop();
}

void HostLookup::finish(const QString &address)
{
    m_id = -1;
    m_timer->stop();
    emit finished(address);
}

QString firstIpv4Address(const QHostInfo &info)
{
    if (info.error() != QHostInfo::NoError)
        return QString();
    for (const QHostAddress &address : info.addresses()) {
        bool isIpv4 = false;
        const quint32 ipv4 = address.toIPv4Address(&isIpv4); // IPv4-mapped IPv6 counts too
        if (isIpv4)
            return QHostAddress(ipv4).toString();
    }
    return QString();
}

QString resolveHostAddress(QString &hostName)
{
    hostName = trimBlanks(hostName);
    if (hostName.isEmpty())
        return QString();
    HostLookup lookup;
    QEventLoop loop;
    QString result;
    bool done = false;
    QObject::connect(&lookup, &HostLookup::finished, &loop, [&](const QString &address) {
        result = address;
        done = true;
        loop.quit();
    });
    lookup.start(hostName);
    if (!done)
        loop.exec();
    return result;
}

ComputerPicker::ComputerPicker(std::unique_ptr<ComputerSource> source, QWidget *owner)
    : QDialog(owner)
    , m_source(std::move(source))
    , m_lookup(new HostLookup(this))
{
    setObjectName(QStringLiteral("NetworkComputerPicker"));
    setWindowTitle(tr("Select a network computer."));

    QDialogButtonBox *buttons = createControls();

    connect(buttons, &QDialogButtonBox::accepted, this, &ComputerPicker::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ComputerPicker::reject);
    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem *item) {
        if (item)
            m_name->setText(item->text());
    });
    connect(m_list, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        m_name->setText(item->text());
        accept();
    });
    connect(m_lookup, &HostLookup::finished, this, &ComputerPicker::lookupFinished);

    QTimer::singleShot(kQuietNetworkMs, this, [this] {
        if (m_list->count() == 0 && m_note->text() == tr("Looking for computers..."))
            showNote(tr("No computer has answered. Type a computer name or address."));
    });
    if (m_source) {
        connect(m_source.get(), &ComputerSource::computerFound, this, &ComputerPicker::addComputer);
        connect(m_source.get(), &ComputerSource::unavailable, this, &ComputerPicker::showNote);
        m_source->start();
    } else {
        showNote(tr("No way to look for computers here; type a computer name."));
    }
    m_name->setFocus();
}

ComputerPicker::~ComputerPicker() = default;

QDialogButtonBox *ComputerPicker::createControls()
{
    auto *listLabel = new QLabel(tr("Computers on the network:"), this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("computerList"));
    m_list->setSortingEnabled(true);
    listLabel->setBuddy(m_list);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setTextFormat(Qt::PlainText); // names come from the network
    m_note->setWordWrap(true);
    m_note->setText(tr("Looking for computers..."));
    auto *nameLabel = new QLabel(tr("Computer &name:"), this);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("computerName"));
    m_name->setMaxLength(kMaxComputerNameLength);
    nameLabel->setBuddy(m_name);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(listLabel);
    layout->addWidget(m_list);
    layout->addWidget(m_note);
    layout->addWidget(nameLabel);
    layout->addWidget(m_name);
    layout->addWidget(buttons);
    resize(360, 420);
    return buttons;
}

void ComputerPicker::addComputer(const QString &name, const QString &hostName, const QString &address)
{
    const QString shown = trimBlanks(name);
    if (shown.isEmpty() || m_list->count() >= kMaxListedComputers)
        return;
    if (!m_list->findItems(shown, Qt::MatchFixedString).isEmpty())
        return; // one computer announcing several services, or over several networks
    auto *item = new QListWidgetItem(shown);
    item->setData(HostNameRole, hostName);
    item->setData(AddressRole, address);
    m_list->addItem(item);
    m_note->setText(tr("%n computer(s) found.", nullptr, m_list->count()));
}

void ComputerPicker::showNote(const QString &note)
{
    m_note->setText(note);
}

void ComputerPicker::accept()
{
    if (m_lookup->busy())
        return;
    const QString name = trimBlanks(m_name->text());
    if (name.isEmpty()) {
        QApplication::beep();
        m_name->setFocus();
        return;
    }
    m_chosenName = name;
    m_announcedAddress.clear();
    QString lookupName = name;
    // A computer from the list is looked up by its full host name, which
    // the local resolver may know (".local" names through mDNS).
    const QList<QListWidgetItem *> listed = m_list->findItems(name, Qt::MatchExactly);
    if (!listed.isEmpty()) {
        const QString hostName = listed.first()->data(HostNameRole).toString();
        if (!hostName.isEmpty())
            lookupName = hostName;
        m_announcedAddress = listed.first()->data(AddressRole).toString();
    }
    m_list->setEnabled(false);
    m_name->setEnabled(false);
    m_ok->setEnabled(false);
    m_note->setText(tr("Looking up %1...").arg(lookupName));
    m_lookup->start(lookupName);
}

void ComputerPicker::lookupFinished(const QString &address)
{
    // Without an mDNS-aware resolver a ".local" name does not resolve; the
    // address the computer announced with it is then the best answer.
    m_address = address.isEmpty() ? m_announcedAddress : address;
    QDialog::accept();
}

void ComputerPicker::reject()
{
    m_lookup->abort();
    m_chosenName.clear();
    m_address.clear();
    QDialog::reject();
}

bool browseNetworkComputer(QWidget *owner, QString &address, QString &computerName)
{
    ComputerPicker picker(createComputerSource(), owner);
    if (picker.exec() != QDialog::Accepted || picker.address().isEmpty())
        return false;
    address = picker.address();
    computerName = picker.computerName();
    return true;
}
