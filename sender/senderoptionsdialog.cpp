#include "senderoptionsdialog.h"

#include "fieldchecks.h"
#include "keyfilter.h"
#include "sendersettings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

SenderOptionsDialog::SenderOptionsDialog(SenderSettings &settings, SettingsStore &store, QWidget *owner)
    : SettingsDialog(store, QStringLiteral("Option "), owner)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("SenderOptionsDialog"));
    setWindowTitle(tr("Options"));
    auto *layout = new QVBoxLayout(this);

    auto *misc = new QGroupBox(tr("Miscellaneous"), this);
    misc->setObjectName(QStringLiteral("frm"));
    auto *miscLayout = new QVBoxLayout(misc);
    m_minimizeBox = new QCheckBox(tr("Minimized when message is sent"), misc);
    m_minimizeBox->setObjectName(QStringLiteral("chkminimizedsend"));
    m_popupBox = new QCheckBox(tr("Pop-up when message is sent"), misc);
    m_popupBox->setObjectName(QStringLiteral("Popupsend"));
    miscLayout->addWidget(m_minimizeBox);
    miscLayout->addWidget(m_popupBox);
    layout->addWidget(misc);

    auto *network = new QGroupBox(tr("Network option"), this);
    network->setObjectName(QStringLiteral("frm"));
    auto *grid = new QGridLayout(network);
    auto *ipLabel = new QLabel(tr("Default IP:"), network);
    ipLabel->setObjectName(QStringLiteral("lbl"));
    m_ipField = new QLineEdit(network);
    m_ipField->setObjectName(QStringLiteral("ipnumber"));
    new KeyFilter(m_ipField, kIpCharacters, kIpBoxLength);
    auto *portLabel = new QLabel(tr("Default port :"), network);
    portLabel->setObjectName(QStringLiteral("lbl"));
    m_portField = new QLineEdit(network);
    m_portField->setObjectName(QStringLiteral("Portnb"));
    new KeyFilter(m_portField, kPortCharacters, kPortBoxLength);
    ipLabel->setBuddy(m_ipField);
    portLabel->setBuddy(m_portField);
    grid->addWidget(ipLabel, 0, 0);
    grid->addWidget(m_ipField, 0, 1);
    grid->addWidget(portLabel, 1, 0);
    grid->addWidget(m_portField, 1, 1);
    layout->addWidget(network);

    layout->addLayout(commandButtons());
    fillAndPlace();
}

SenderOptionsDialog::~SenderOptionsDialog()
{
    saveOnClose();
}

void SenderOptionsDialog::onLoadClicked()
{
    m_ipField->setText(m_settings.defaultIp);
    m_portField->setText(QString::number(m_settings.defaultPort));
    m_minimizeBox->setChecked(m_settings.minimizeWhenSent);
    m_popupBox->setChecked(m_settings.popupWhenSent);
}

void SenderOptionsDialog::onApplyClicked()
{
    qint32 port = 0;
    if (!isValidPort(m_portField->text(), port)) {
        failCheck(m_portField, tr("Invalid port number"));
        return;
    }
    m_settings.defaultPort = port;
    m_settings.popupWhenSent = m_popupBox->checkState() == Qt::Checked;
    m_settings.minimizeWhenSent = m_minimizeBox->checkState() == Qt::Checked;

    QString ip;
    if (!isValidIp(m_ipField->text(), ip)) {
        failCheck(m_ipField, tr("Invalid ip address"));
        return;
    }
    m_settings.defaultIp = ip;
    accept();
}

void SenderOptionsDialog::onResetClicked()
{
    m_ipField->setText(QStringLiteral("127.0.0.1"));
    m_portField->setText(QString::number(kDefaultPort));
    m_popupBox->setChecked(true);
    m_minimizeBox->setChecked(true);
}

void SenderOptionsDialog::writeSettings()
{
    saveProgramOptions(m_store, m_settings);
}
