#include "modifyuser.h"

#include "sendersettings.h"
#include "settingsstore.h"

ModifyUser::ModifyUser(SenderSettings &settings, SettingsStore &store, QWidget *owner)
    : QDialog(owner)
    , m_settings(settings)
    , m_store(store)
{
    setWindowTitle(QStringLiteral("Modify User"));
}

ModifyUser::~ModifyUser() = default;
