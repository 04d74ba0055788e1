#include "identification.h"

#include "fieldchecks.h"
#include "keyfilter.h"
#include "sendersettings.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

Identification::Identification(SenderSettings &settings, SettingsStore &store, QWidget *owner)
    : SettingsDialog(store, QStringLiteral("Identification "), owner)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("Identification"));
    setWindowTitle(QStringLiteral("Identification"));
    auto *layout = new QVBoxLayout(this);

    auto *frame = new QGroupBox(QStringLiteral("User identification"), this);
    frame->setObjectName(QStringLiteral("frm"));
    auto *grid = new QGridLayout(frame);
    auto *nameLabel = new QLabel(QStringLiteral("User name:"), frame);
    nameLabel->setObjectName(QStringLiteral("lbl"));
    m_txtmyident = new QLineEdit(frame);
    m_txtmyident->setObjectName(QStringLiteral("txtmyident"));
    m_txtmyident->setMaxLength(kMaxUserNameLength);
    auto *portLabel = new QLabel(QStringLiteral("User reply port:"), frame);
    portLabel->setObjectName(QStringLiteral("lbl"));
    m_txtmyportnb = new QLineEdit(frame);
    m_txtmyportnb->setObjectName(QStringLiteral("txtmyportnb"));
    m_txtmyportnb->setMaxLength(kPortBoxLength);
    new KeyFilter(m_txtmyportnb, kPortCharacters);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(m_txtmyident, 0, 1);
    grid->addWidget(portLabel, 1, 0);
    grid->addWidget(m_txtmyportnb, 1, 1);
    layout->addWidget(frame);

    layout->addLayout(CommandButtons());
    Open();
}

Identification::~Identification()
{
    Form_Unload();
}

void Identification::LoadOption_Click()
{
    m_txtmyident->setText(m_settings.MyUsername);
    m_txtmyportnb->setText(QString::number(m_settings.MyPortnb));
}

void Identification::SaveOption_Click()
{
    QString name;
    if (!IsValidUserName(m_txtmyident->text(), name)) {
        FailCheck(m_txtmyident, QStringLiteral("Invalid User Name (lenght must be between 1 and ") +
                                    QString::number(kMaxUserNameLength) + u')');
        return;
    }
    m_settings.MyUsername = name;

    qint32 port = 0;
    if (!IsValidPort(m_txtmyportnb->text(), port)) {
        FailCheck(m_txtmyportnb, QStringLiteral("Invalid port number"));
        return;
    }
    m_settings.MyPortnb = port;
    accept();
}

void Identification::ResetDefault_Click()
{
    m_txtmyident->setText(QStringLiteral("Me"));
    m_txtmyportnb->setText(QStringLiteral("505"));
}

void Identification::WriteSettings()
{
    SaveIdentification(m_store, m_settings);
}
