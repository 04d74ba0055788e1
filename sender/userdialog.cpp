#include "userdialog.h"

#include "addressprobe.h"
#include "computerpicker.h"
#include "conversions.h"
#include "fieldchecks.h"
#include "identity.h"
#include "messagebox.h"
#include "positionkeeper.h"
#include "settingsstore.h"
#include "userrows.h"
#include "windowposition.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QString kWindowPrefix = QStringLiteral("Modify or Add ");
const QString kLocalhost = QStringLiteral("localhost");

QString invalidNameText()
{
    return QCoreApplication::translate("UserDialog", "Invalid User Name (lenght must be between 1 and %1)")
        .arg(integerText(kMaxUserNameLength));
}

// Keys that drive the dialog rather than type into a field: they pass every filter.
bool isDialogKey(int key)
{
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Delete:
        return true;
    default:
        return false;
    }
}

// Whether a typed text may reach a field: every character is allowed and the
// field stays within its typing limit. Keys that type nothing always pass;
// backspace, which shortens the field, too.
bool mayType(const QLineEdit *field, const QKeyEvent *event, int limit, bool (*allowed)(QChar))
{
    const QString typed = event->text();
    if (typed.isEmpty() || isDialogKey(event->key()) || event->key() == Qt::Key_Backspace)
        return true;
    if (!allowed) {
        // A field without a filter keeps its editing shortcuts (Ctrl+V, Ctrl+Z...);
        // only what would be typed into it counts against the limit.
        if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return true;
    } else {
        // Ctrl+letter combinations type control characters, which no filter allows.
        for (const QChar c : typed) {
            if (!allowed(c))
                return false;
        }
    }
    return field->text().size() - field->selectedText().size() + typed.size() <= limit;
}

// An IPv4 or IPv6 address (in brackets or not) or a host name.
bool isIpCharacter(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
           QStringView(u".:-[]").contains(c);
}

bool isPortCharacter(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Only digits and blanks: the port check reads the leading number of any
// text, so a pasted "abc" would pass as port 0 and "80x" as 80.
bool isPortText(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return isPortCharacter(c) || c == u' '; });
}

} // namespace

QString portDisplayText(qint32 port)
{
    return port < 0 ? integerText(port) : QStringLiteral(" ") + integerText(port);
}

UserDialog::UserDialog(UserEdit &edit, const UserRows &rows, const SenderSettings &settings,
                       SettingsStore &store, QWidget *owner)
    : QDialog(owner)
    , m_edit(edit)
    , m_rows(rows)
    , m_settings(settings)
    , m_position(new PositionKeeper(this, store, kWindowPrefix))
{
    setObjectName(QStringLiteral("Modify_or_add"));
    setWindowTitle(tr("User"));

    QGridLayout *fields = createFields();
    QHBoxLayout *buttons = createButtons();
    m_probe = new AddressProbe(this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(m_saveButton, &QPushButton::clicked, this, &UserDialog::onSaveClicked);
    connect(m_cancelButton, &QPushButton::clicked, this, &UserDialog::onCancelClicked);
    connect(m_addNetworkUserButton, &QPushButton::clicked, this, &UserDialog::onAddNetworkUserClicked);
    connect(m_testButton, &QPushButton::clicked, this, &UserDialog::onTestAddressClicked);
    connect(m_probe, &AddressProbe::finished, this,
            [this](AddressProbe::Outcome outcome, const QString &description) {
                showNotice(this, tr("Test"),
                           probeReport(outcome, description, m_probedIp, m_probedPort, m_probe->wait()));
            });

    load();
}

QGridLayout *UserDialog::createFields()
{
    auto *fields = new QGridLayout;
    const QString labels[] = {tr("Name"), tr("IP number"), tr("Port")};
    m_nameField = new QLineEdit(this);
    m_nameField->setObjectName(QStringLiteral("username"));
    m_ipField = new QLineEdit(this);
    m_ipField->setObjectName(QStringLiteral("userip"));
    m_portField = new QLineEdit(this);
    m_portField->setObjectName(QStringLiteral("userport"));
    QLineEdit *edits[] = {m_nameField, m_ipField, m_portField};
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(labels[i], this);
        label->setObjectName(QStringLiteral("lbl"));
        label->setBuddy(edits[i]);
        fields->addWidget(label, i, 0);
        fields->addWidget(edits[i], i, 1);
        // The typing limits are kept by the key filter: a stored or pasted
        // text longer than the limit is shown whole, and Save judges it,
        // instead of being cut to something that might pass.
        edits[i]->installEventFilter(this);
    }
    m_ipField->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255 ")) * 2);

    m_keyField = new QLineEdit(this);
    m_keyField->setObjectName(QStringLiteral("userkeycode"));
    m_keyField->setReadOnly(true);
    m_keyField->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *keyLabel = new QLabel(tr("Key code"), this);
    keyLabel->setBuddy(m_keyField);
    m_forgetKeyButton = new QPushButton(tr("Forget Key"), this);
    m_forgetKeyButton->setObjectName(QStringLiteral("userforgetkey"));
    m_forgetKeyButton->setAutoDefault(false);
    connect(m_forgetKeyButton, &QPushButton::clicked, this, &UserDialog::onForgetKeyClicked);
    m_keyVerified = new QCheckBox(tr("Verified: this code matches the one the person sees in their own "
                                     "Identification"),
                                  this);
    m_keyVerified->setObjectName(QStringLiteral("userkeyverified"));
    fields->addWidget(keyLabel, 3, 0);
    auto *keyRow = new QHBoxLayout;
    keyRow->addWidget(m_keyField, 1);
    keyRow->addWidget(m_forgetKeyButton);
    fields->addLayout(keyRow, 3, 1);
    fields->addWidget(m_keyVerified, 4, 1);
    return fields;
}

QHBoxLayout *UserDialog::createButtons()
{
    m_saveButton = new QPushButton(tr("Save"), this);
    m_saveButton->setObjectName(QStringLiteral("oksave"));
    m_saveButton->setDefault(true);
    m_cancelButton = new QPushButton(tr("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelsave"));
    m_cancelButton->setAutoDefault(false);
    m_addNetworkUserButton = new QPushButton(tr("Add Network User"), this);
    m_addNetworkUserButton->setObjectName(QStringLiteral("cmdAddNetworkUser"));
    m_addNetworkUserButton->setAutoDefault(false);

    m_testButton = new QPushButton(tr("&Test"), this);
    m_testButton->setObjectName(QStringLiteral("testAddress"));
    m_testButton->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_addNetworkUserButton);
    buttons->addWidget(m_testButton);
    buttons->addStretch();
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_cancelButton);
    return buttons;
}

UserDialog::~UserDialog() = default;

void UserDialog::showKey()
{
    const bool pinned = !m_key.key.isEmpty();
    m_keyField->setText(pinned ? Identity::verificationCode(m_key.key)
                               : tr("none yet: pinned on the first encrypted message"));
    m_keyVerified->setChecked(m_key.verified);
    m_keyVerified->setEnabled(pinned);
    m_forgetKeyButton->setEnabled(pinned);
}

void UserDialog::onForgetKeyClicked()
{
    m_key = PinnedKey();
    showKey();
}

void UserDialog::load()
{
    const UserRecord &user = m_edit.user;
    m_openingName = user.name;
    m_nameField->setText(user.name);
    m_ipField->setText(user.ip);
    m_portField->setText(portDisplayText(user.port));
    m_key = user.key;
    showKey();
    // The built-in user keeps its name and address; only its port may change.
    if (user.name == kLocalhost) {
        m_nameField->setEnabled(false);
        m_ipField->setEnabled(false);
        m_portField->setFocus();
    } else {
        m_nameField->setFocus();
    }
    adjustSize();
    m_position->place();
}

void UserDialog::onSaveClicked()
{
    QString name;
    if (!isValidUserName(m_nameField->text(), name)) {
        showMessage(this, kTitleError, invalidNameText());
        m_nameField->setFocus();
        return;
    }
    QString ip;
    if (!checkIp(ip))
        return;
    // An unchanged name is the user being changed: the row itself would count
    // as a duplicate.
    if (name != m_openingName && isUserInList(m_rows, name, ip)) {
        showMessage(this, kTitleError, tr("User Name and IP already in Use"));
        m_nameField->setFocus();
        return;
    }
    qint32 port = 0;
    if (!checkPort(port))
        return;
    m_edit.user.name = name;
    m_edit.user.ip = ip;
    m_edit.user.port = port;
    m_edit.user.key = m_key;
    m_edit.user.key.verified = !m_key.key.isEmpty() && m_keyVerified->isChecked();
    m_edit.cancelled = false;
    accept();
}

bool UserDialog::checkIp(QString &ip)
{
    if (isValidAddress(m_ipField->text(), ip))
        return true;
    showMessage(this, kTitleError, tr("Invalid ip address"));
    m_ipField->setFocus();
    return false;
}

bool UserDialog::checkPort(qint32 &port)
{
    if (isPortText(m_portField->text()) && isValidPort(m_portField->text(), port))
        return true;
    showMessage(this, kTitleError, tr("Invalid port number"));
    m_portField->setFocus();
    return false;
}

void UserDialog::onTestAddressClicked()
{
    // Port 0 passes the port check (a stored user may hold it) but cannot be connected to.
    if (!checkIp(m_probedIp) || !checkPort(m_probedPort))
        return;
    if (m_probedPort == 0) {
        showMessage(this, kTitleError, tr("Invalid port number"));
        m_portField->setFocus();
        return;
    }
    m_probe->start(m_probedIp, static_cast<quint16>(m_probedPort));
}

void UserDialog::onCancelClicked()
{
    m_edit.cancelled = true;
    reject();
}

void UserDialog::onAddNetworkUserClicked()
{
    QString address;
    QString computer;
    if (!browseNetworkComputer(this, address, computer)) {
        showMessage(this, kTitleError, tr("Unable to Browse the network"));
        return;
    }
    m_nameField->setText(computer);
    m_ipField->setText(address);
    m_portField->setText(integerText(m_settings.defaultPort));
}

bool UserDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    bool keep = true;
    if (watched == m_ipField)
        keep = ipKeyPress(key);
    else if (watched == m_portField)
        keep = portKeyPress(key);
    else if (watched == m_nameField)
        keep = mayType(m_nameField, key, kMaxUserNameLength, nullptr);
    return !keep; // a dropped key never reaches the field
}

bool UserDialog::ipKeyPress(QKeyEvent *event)
{
    if (handleClipboardKeys(m_ipField, event))
        return false;
    return mayType(m_ipField, event, kUserIpTypingLimit, isIpCharacter);
}

bool UserDialog::portKeyPress(QKeyEvent *event)
{
    if (handleClipboardKeys(m_portField, event))
        return false;
    return mayType(m_portField, event, kUserPortTypingLimit, isPortCharacter);
}

bool UserDialog::handleClipboardKeys(QLineEdit *field, QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::ControlModifier)
        return false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    switch (event->key()) {
    case Qt::Key_V:
        // The whole field, unfiltered: Save judges what was pasted.
        field->setText(clipboard->text());
        return true;
    case Qt::Key_C:
        clipboard->setText(field->text());
        return true;
    default:
        return false;
    }
}
