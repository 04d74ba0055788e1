#include "modify_or_add.h"

#include "conversions.h"
#include "fieldchecks.h"
#include "getnetworkuser.h"
#include "messagebox.h"
#include "settingsstore.h"
#include "userrows.h"
#include "windowposition.h"

#include <QClipboard>
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

QString InvalidNameText()
{
    return QStringLiteral("Invalid User Name (lenght must be between 1 and ") +
           IntegerText(kMaxUserNameLength) + QStringLiteral(")");
}

// Keys that drive the dialog rather than type into a field: they pass every filter.
bool IsDialogKey(int key)
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
bool MayType(const QLineEdit *field, const QKeyEvent *event, int limit, bool (*allowed)(QChar))
{
    const QString typed = event->text();
    if (typed.isEmpty() || IsDialogKey(event->key()) || event->key() == Qt::Key_Backspace)
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

bool IsIpCharacter(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'.';
}

bool IsPortCharacter(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Only digits and blanks: the port check reads the leading number of any
// text, so a pasted "abc" would pass as port 0 and "80x" as 80.
bool IsPortText(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return IsPortCharacter(c) || c == u' '; });
}

} // namespace

QString PortDisplayText(qint32 port)
{
    return port < 0 ? IntegerText(port) : QStringLiteral(" ") + IntegerText(port);
}

Modify_or_add::Modify_or_add(UserEdit &edit, const UserRows &rows, const SenderSettings &settings,
                             SettingsStore &store, QWidget *owner)
    : QDialog(owner)
    , m_edit(edit)
    , m_rows(rows)
    , m_settings(settings)
    , m_store(store)
{
    setObjectName(QStringLiteral("Modify_or_add"));
    setWindowTitle(QStringLiteral("User"));

    auto *fields = new QGridLayout;
    const QString labels[] = {QStringLiteral("Name"), QStringLiteral("IP number"), QStringLiteral("Port")};
    m_username = new QLineEdit(this);
    m_username->setObjectName(QStringLiteral("username"));
    m_userip = new QLineEdit(this);
    m_userip->setObjectName(QStringLiteral("userip"));
    m_userport = new QLineEdit(this);
    m_userport->setObjectName(QStringLiteral("userport"));
    QLineEdit *edits[] = {m_username, m_userip, m_userport};
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
    m_userip->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255 ")) * 2);

    m_oksave = new QPushButton(QStringLiteral("Save"), this);
    m_oksave->setObjectName(QStringLiteral("oksave"));
    m_oksave->setDefault(true);
    m_cancelsave = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelsave->setObjectName(QStringLiteral("cancelsave"));
    m_cancelsave->setAutoDefault(false);
    m_cmdAddNetworkUser = new QPushButton(QStringLiteral("Add Network User"), this);
    m_cmdAddNetworkUser->setObjectName(QStringLiteral("cmdAddNetworkUser"));
    m_cmdAddNetworkUser->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdAddNetworkUser);
    buttons->addStretch();
    buttons->addWidget(m_oksave);
    buttons->addWidget(m_cancelsave);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(m_oksave, &QPushButton::clicked, this, &Modify_or_add::oksave_Click);
    connect(m_cancelsave, &QPushButton::clicked, this, &Modify_or_add::cancelsave_Click);
    connect(m_cmdAddNetworkUser, &QPushButton::clicked, this, &Modify_or_add::cmdAddNetworkUser_Click);

    Form_Load();
}

Modify_or_add::~Modify_or_add() = default;

void Modify_or_add::Form_Load()
{
    const UserRecord &user = m_edit.EditedUser;
    m_openingName = user.name;
    m_username->setText(user.name);
    m_userip->setText(user.ip);
    m_userport->setText(PortDisplayText(user.port));
    // The built-in user keeps its name and address; only its port may change.
    if (user.name == kLocalhost) {
        m_username->setEnabled(false);
        m_userip->setEnabled(false);
        m_userport->setFocus();
    } else {
        m_username->setFocus();
    }
    adjustSize();
    PlaceWindow(this, m_store, kWindowPrefix);
}

void Modify_or_add::Form_Unload()
{
    StoreWindowPosition(this, m_store, kWindowPrefix);
}

void Modify_or_add::done(int result)
{
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    QDialog::done(result);
}

void Modify_or_add::oksave_Click()
{
    QString name;
    if (!IsValidUserName(m_username->text(), name)) {
        ShowMessage(this, kTitleError, InvalidNameText());
        m_username->setFocus();
        return;
    }
    QString ip;
    if (!IsValidIp(m_userip->text(), ip)) {
        ShowMessage(this, kTitleError, QStringLiteral("Invalid ip address"));
        m_userip->setFocus();
        return;
    }
    // An unchanged name is the user being changed: the row itself would count
    // as a duplicate.
    if (name != m_openingName && IsUserInList(m_rows, name, ip)) {
        ShowMessage(this, kTitleError, QStringLiteral("User Name and IP already in Use"));
        m_username->setFocus();
        return;
    }
    qint32 port = 0;
    if (!IsPortText(m_userport->text()) || !IsValidPort(m_userport->text(), port)) {
        ShowMessage(this, kTitleError, QStringLiteral("Invalid port number"));
        m_userport->setFocus();
        return;
    }
    m_edit.EditedUser.name = name;
    m_edit.EditedUser.ip = ip;
    m_edit.EditedUser.port = port;
    m_edit.EditCancelled = false;
    accept();
}

void Modify_or_add::cancelsave_Click()
{
    m_edit.EditCancelled = true;
    reject();
}

void Modify_or_add::cmdAddNetworkUser_Click()
{
    QString address;
    QString computer;
    if (!BrowseNetworkComputer(this, address, computer)) {
        ShowMessage(this, kTitleError, QStringLiteral("Unable to Browse the network"));
        return;
    }
    m_username->setText(computer);
    m_userip->setText(address);
    m_userport->setText(IntegerText(m_settings.DefaultPort));
}

bool Modify_or_add::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    bool keep = true;
    if (watched == m_userip)
        keep = userip_KeyPress(key);
    else if (watched == m_userport)
        keep = userport_KeyPress(key);
    else if (watched == m_username)
        keep = MayType(m_username, key, kMaxUserNameLength, nullptr);
    return !keep; // a dropped key never reaches the field
}

bool Modify_or_add::userip_KeyPress(QKeyEvent *event)
{
    if (HandleClipboardKeys(m_userip, event))
        return false;
    return MayType(m_userip, event, kUserIpTypingLimit, IsIpCharacter);
}

bool Modify_or_add::userport_KeyPress(QKeyEvent *event)
{
    if (HandleClipboardKeys(m_userport, event))
        return false;
    return MayType(m_userport, event, kUserPortTypingLimit, IsPortCharacter);
}

bool Modify_or_add::HandleClipboardKeys(QLineEdit *field, QKeyEvent *event)
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
