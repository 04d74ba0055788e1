#include "positionkeeper.h"

#include "messagebox.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QDialog>
#include <QList>

namespace {
// Every keeper alive, on the UI thread.
QList<PositionKeeper *> &keepers()
{
    static QList<PositionKeeper *> list;
    return list;
}
} // namespace

PositionKeeper::PositionKeeper(QDialog *dialog, SettingsStore &store, const QString &prefix)
    : QObject(dialog)
    , m_dialog(dialog)
    , m_store(store)
    , m_prefix(prefix)
    , m_owner(dialog->parentWidget())
{
    connect(dialog, &QDialog::finished, this, &PositionKeeper::save);
    keepers().append(this);
}

PositionKeeper::~PositionKeeper()
{
    keepers().removeOne(this);
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

void PositionKeeper::storeOpenPositions()
{
    for (PositionKeeper *keeper : std::as_const(keepers())) {
        if (!keeper->m_saved && keeper->m_dialog->isVisible()) {
            storeWindowPosition(keeper->m_dialog, keeper->m_store, keeper->m_prefix);
            keeper->m_store.flush();
        }
    }
}
