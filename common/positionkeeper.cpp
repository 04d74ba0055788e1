#include "positionkeeper.h"

#include "messagebox.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QDialog>

PositionKeeper::PositionKeeper(QDialog *dialog, SettingsStore &store, const QString &prefix)
    : QObject(dialog)
    , m_dialog(dialog)
    , m_store(store)
    , m_prefix(prefix)
    , m_owner(dialog->parentWidget())
{
    connect(dialog, &QDialog::finished, this, &PositionKeeper::save);
}

PositionKeeper::~PositionKeeper()
{
    // The dialog is going away without having been closed: its widget part
    // still knows where it stands.
    save();
}

void PositionKeeper::place()
{
    placeWindow(m_dialog, m_store, m_prefix);
}

void PositionKeeper::save()
{
    if (m_saved)
        return;
    m_saved = true;
    storeWindowPosition(m_dialog, m_store, m_prefix);
    if (!m_store.flush())
        reportSaveFailure(m_owner, m_store.fileName());
}
