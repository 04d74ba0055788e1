#include "identification.h"

#include "fieldchecks.h"
#include "keyfilter.h"
#include "messagebox.h"
#include "sendersettings.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kPositionPrefix = QStringLiteral("Identification ");

QPushButton *AddButton(QHBoxLayout *row, const QString &text, const QString &name, QWidget *owner)
{
    auto *button = new QPushButton(text, owner);
    button->setObjectName(name);
    button->setAutoDefault(false);
    row->addWidget(button);
    return button;
}
} // namespace

Identification::Identification(SenderSettings &settings, SettingsStore &store, QWidget *owner)
    : QDialog(owner)
    , m_settings(settings)
    , m_store(store)
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

    auto *buttons = new QHBoxLayout();
    connect(AddButton(buttons, QStringLiteral("Load"), QStringLiteral("LoadOption"), this),
            &QPushButton::clicked, this, &Identification::LoadOption_Click);
    connect(AddButton(buttons, QStringLiteral("Apply"), QStringLiteral("SaveOption"), this),
            &QPushButton::clicked, this, &Identification::SaveOption_Click);
    connect(AddButton(buttons, QStringLiteral("Reset"), QStringLiteral("ResetDefault"), this),
            &QPushButton::clicked, this, &Identification::ResetDefault_Click);
    connect(AddButton(buttons, QStringLiteral("Cancel"), QStringLiteral("ReturnCmd"), this),
            &QPushButton::clicked, this, &Identification::ReturnCmd_Click);
    layout->addLayout(buttons);

    LoadOption_Click();
    adjustSize();
    PlaceWindow(this, m_store, kPositionPrefix);
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
        ShowMessage(this, kTitleError,
                    QStringLiteral("Invalid User Name (lenght must be between 1 and ") +
                        QString::number(kMaxUserNameLength) + u')');
        m_txtmyident->setFocus();
        return;
    }
    m_settings.MyUsername = name;

    qint32 port = 0;
    if (!IsValidPort(m_txtmyportnb->text(), port)) {
        ShowMessage(this, kTitleError, QStringLiteral("Invalid port number"));
        m_txtmyportnb->setFocus();
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

void Identification::ReturnCmd_Click()
{
    reject();
}

void Identification::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void Identification::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    SaveIdentification(m_store, m_settings);
    StoreWindowPosition(this, m_store, kPositionPrefix);
    m_store.flush();
}
