#include "settingsdialog.h"

#include "messagebox.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QHBoxLayout>
#include <QPushButton>

SettingsDialog::SettingsDialog(SettingsStore &store, const QString &positionPrefix, QWidget *owner)
    : QDialog(owner)
    , m_store(store)
    , m_positionPrefix(positionPrefix)
{}

QHBoxLayout *SettingsDialog::CommandButtons()
{
    struct Command
    {
        QString caption;
        QString name;
        void (SettingsDialog::*handler)();
    };
    const Command commands[] = {
        {QStringLiteral("Load"), QStringLiteral("LoadOption"), &SettingsDialog::LoadOption_Click},
        {QStringLiteral("Apply"), QStringLiteral("SaveOption"), &SettingsDialog::SaveOption_Click},
        {QStringLiteral("Reset"), QStringLiteral("ResetDefault"), &SettingsDialog::ResetDefault_Click},
        {QStringLiteral("Cancel"), QStringLiteral("ReturnCmd"), &SettingsDialog::ReturnCmd_Click},
    };
    auto *row = new QHBoxLayout;
    for (const Command &command : commands) {
        auto *button = new QPushButton(command.caption, this);
        button->setObjectName(command.name);
        // Return in a field must not press Apply behind the user's back.
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, command.handler);
        row->addWidget(button);
    }
    return row;
}

void SettingsDialog::Open()
{
    LoadOption_Click();
    adjustSize();
    PlaceWindow(this, m_store, m_positionPrefix);
}

void SettingsDialog::ReturnCmd_Click()
{
    reject();
}

void SettingsDialog::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void SettingsDialog::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    WriteSettings();
    StoreWindowPosition(this, m_store, m_positionPrefix);
    if (!m_store.flush())
        ReportSaveFailure(parentWidget(), m_store.fileName());
}

void SettingsDialog::FailCheck(QWidget *field, const QString &text)
{
    ShowMessage(this, kTitleError, text);
    field->setFocus();
}
