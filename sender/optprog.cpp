#include "optprog.h"

#include "fieldchecks.h"
#include "keyfilter.h"
#include "sendersettings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

OptProg::OptProg(SenderSettings &settings, SettingsStore &store, QWidget *owner)
    : SettingsDialog(store, QStringLiteral("Option "), owner)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("OptProg"));
    setWindowTitle(QStringLiteral("Options"));
    auto *layout = new QVBoxLayout(this);

    auto *misc = new QGroupBox(QStringLiteral("Miscellaneous"), this);
    misc->setObjectName(QStringLiteral("frm"));
    auto *miscLayout = new QVBoxLayout(misc);
    m_chkminimizedsend = new QCheckBox(QStringLiteral("Minimized when message is sent"), misc);
    m_chkminimizedsend->setObjectName(QStringLiteral("chkminimizedsend"));
    m_popupsend = new QCheckBox(QStringLiteral("Pop-up when message is sent"), misc);
    m_popupsend->setObjectName(QStringLiteral("Popupsend"));
    miscLayout->addWidget(m_chkminimizedsend);
    miscLayout->addWidget(m_popupsend);
    layout->addWidget(misc);

    auto *network = new QGroupBox(QStringLiteral("Network option"), this);
    network->setObjectName(QStringLiteral("frm"));
    auto *grid = new QGridLayout(network);
    auto *ipLabel = new QLabel(QStringLiteral("Default IP:"), network);
    ipLabel->setObjectName(QStringLiteral("lbl"));
    m_ipnumber = new QLineEdit(network);
    m_ipnumber->setObjectName(QStringLiteral("ipnumber"));
    m_ipnumber->setMaxLength(kIpBoxLength);
    new KeyFilter(m_ipnumber, kIpCharacters);
    auto *portLabel = new QLabel(QStringLiteral("Default port :"), network);
    portLabel->setObjectName(QStringLiteral("lbl"));
    m_portnb = new QLineEdit(network);
    m_portnb->setObjectName(QStringLiteral("Portnb"));
    m_portnb->setMaxLength(kPortBoxLength);
    new KeyFilter(m_portnb, kPortCharacters);
    grid->addWidget(ipLabel, 0, 0);
    grid->addWidget(m_ipnumber, 0, 1);
    grid->addWidget(portLabel, 1, 0);
    grid->addWidget(m_portnb, 1, 1);
    layout->addWidget(network);

    layout->addLayout(CommandButtons());
    Open();
}

OptProg::~OptProg()
{
    Form_Unload();
}

void OptProg::LoadOption_Click()
{
    m_ipnumber->setText(m_settings.DefaultIp);
    m_portnb->setText(QString::number(m_settings.DefaultPort));
    m_chkminimizedsend->setChecked(m_settings.MinimizedWhenSend);
    m_popupsend->setChecked(m_settings.PopupWhenSend);
}

void OptProg::SaveOption_Click()
{
    qint32 port = 0;
    if (!IsValidPort(m_portnb->text(), port)) {
        FailCheck(m_portnb, QStringLiteral("Invalid port number"));
        return;
    }
    m_settings.DefaultPort = port;
    m_settings.PopupWhenSend = m_popupsend->checkState() == Qt::Checked;
    m_settings.MinimizedWhenSend = m_chkminimizedsend->checkState() == Qt::Checked;

    QString ip;
    if (!IsValidIp(m_ipnumber->text(), ip)) {
        FailCheck(m_ipnumber, QStringLiteral("Invalid ip address"));
        return;
    }
    m_settings.DefaultIp = ip;
    accept();
}

void OptProg::ResetDefault_Click()
{
    m_ipnumber->setText(QStringLiteral("127.0.0.1"));
    m_portnb->setText(QStringLiteral("505"));
    m_popupsend->setChecked(true);
    m_chkminimizedsend->setChecked(true);
}

void OptProg::WriteSettings()
{
    SaveProgramOptions(m_store, m_settings);
}
