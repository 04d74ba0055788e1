#include "identificationdialog.h"

#include "fieldchecks.h"
#include "identity.h"
#include "keyfilter.h"
#include "sendersettings.h"
#include "settingsstore.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

IdentificationDialog::IdentificationDialog(SenderSettings &settings, SettingsStore &store, QWidget *owner,
                                           const QString &identityPath)
    : SettingsDialog(store, QStringLiteral("Identification "), owner)
    , m_settings(settings)
    , m_identityPath(identityPath.isEmpty() ? Identity::defaultPath() : identityPath)
{
    setObjectName(QStringLiteral("Identification"));
    setWindowTitle(tr("Identification"));
    auto *layout = new QVBoxLayout(this);

    auto *frame = new QGroupBox(tr("User identification"), this);
    frame->setObjectName(QStringLiteral("frm"));
    auto *grid = new QGridLayout(frame);
    auto *nameLabel = new QLabel(tr("User name:"), frame);
    nameLabel->setObjectName(QStringLiteral("lbl"));
    m_nameField = new QLineEdit(frame);
    m_nameField->setObjectName(QStringLiteral("txtmyident"));
    new KeyFilter(m_nameField, QString(), kMaxUserNameLength);
    auto *portLabel = new QLabel(tr("User reply port:"), frame);
    portLabel->setObjectName(QStringLiteral("lbl"));
    m_portField = new QLineEdit(frame);
    m_portField->setObjectName(QStringLiteral("txtmyportnb"));
    new KeyFilter(m_portField, kPortCharacters, kPortBoxLength);
    nameLabel->setBuddy(m_nameField);
    portLabel->setBuddy(m_portField);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(m_nameField, 0, 1);
    grid->addWidget(portLabel, 1, 0);
    grid->addWidget(m_portField, 1, 1);
    createKeyRow(grid, 2);
    layout->addWidget(frame);

    layout->addLayout(commandButtons());
    fillAndPlace();
}

void IdentificationDialog::createKeyRow(QGridLayout *grid, int row)
{
    // The key is made here on first need; the code others compare with
    // theirs can be selected and copied.
    const QString known = m_store.get(QStringLiteral("Identification"), QStringLiteral("KeyCode"), {});
    const Identity identity = obtainIdentity(m_identityPath, known, parentWidget());
    const QString code = identity.verificationCode();
    if (!code.isEmpty() && code != known)
        m_store.save(QStringLiteral("Identification"), QStringLiteral("KeyCode"), code);

    auto *label = new QLabel(tr("Verification code:"), grid->parentWidget());
    label->setObjectName(QStringLiteral("lblkeycode"));
    auto *field = new QLineEdit(code.isEmpty() ? tr("(no key)") : code, grid->parentWidget());
    field->setObjectName(QStringLiteral("txtkeycode"));
    field->setReadOnly(true);
    field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QString(40, u'0')));
    label->setBuddy(field);
    auto *copy = new QPushButton(tr("Copy"), grid->parentWidget());
    copy->setObjectName(QStringLiteral("cmdcopykeycode"));
    copy->setEnabled(!code.isEmpty());
    connect(copy, &QPushButton::clicked, this, [code] { QGuiApplication::clipboard()->setText(code); });
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    grid->addWidget(copy, row, 2);
}

IdentificationDialog::~IdentificationDialog()
{
    saveOnClose();
}

void IdentificationDialog::onLoadClicked()
{
    m_nameField->setText(m_settings.myUserName);
    m_portField->setText(QString::number(m_settings.myReplyPort));
}

void IdentificationDialog::onApplyClicked()
{
    QString name;
    if (!isValidUserName(m_nameField->text(), name)) {
        failCheck(m_nameField, QCoreApplication::translate(
                                   "UserDialog", "Invalid User Name (lenght must be between 1 and %1)")
                                   .arg(kMaxUserNameLength));
        return;
    }
    m_settings.myUserName = name;

    qint32 port = 0;
    if (!isValidPort(m_portField->text(), port)) {
        failCheck(m_portField, tr("Invalid port number"));
        return;
    }
    m_settings.myReplyPort = port;
    accept();
}

void IdentificationDialog::onResetClicked()
{
    m_nameField->setText(QStringLiteral("Me"));
    m_portField->setText(QString::number(kDefaultPort));
}

void IdentificationDialog::writeSettings()
{
    saveIdentification(m_store, m_settings);
}
