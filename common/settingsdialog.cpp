#include "settingsdialog.h"

#include "positionkeeper.h"

#include "messagebox.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QHBoxLayout>
#include <QPushButton>

SettingsDialog::SettingsDialog(SettingsStore &store, const QString &positionPrefix, QWidget *owner)
    : QDialog(owner)
    , m_store(store)
    , m_position(new PositionKeeper(this, store, positionPrefix))
{}

QHBoxLayout *SettingsDialog::commandButtons()
{
    struct Command
    {
        QString caption;
        QString name;
        void (SettingsDialog::*handler)();
    };
    const Command commands[] = {
        {tr("Load"), QStringLiteral("LoadOption"), &SettingsDialog::onLoadClicked},
        {tr("Apply"), QStringLiteral("SaveOption"), &SettingsDialog::onApplyClicked},
        {tr("Reset"), QStringLiteral("ResetDefault"), &SettingsDialog::onResetClicked},
        {tr("Cancel"), QStringLiteral("ReturnCmd"), &SettingsDialog::onCancelClicked},
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

void SettingsDialog::fillAndPlace()
{
    onLoadClicked();
    adjustSize();
    m_position->place();
}

void SettingsDialog::onCancelClicked()
{
    reject();
}

void SettingsDialog::done(int result)
{
    saveOnClose();
    QDialog::done(result);
}

void SettingsDialog::saveOnClose()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    writeSettings();
    m_position->save();
}

void SettingsDialog::failCheck(QWidget *field, const QString &text)
{
    showMessage(this, kTitleError, text);
    field->setFocus();
}
