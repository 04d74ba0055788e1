#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QDialog;
class QWidget;
class SettingsStore;

// Keeps a dialog's start position in the store under "<prefix>StartUPX" /
// "<prefix>StartUPY": place() puts the dialog where it last was, and the
// position is written when the dialog closes, however it closes (done(),
// Escape, the close button, or going away with its owner), exactly once.
// The write reaches the disk at once; a failure is reported over the owner.
class PositionKeeper : public QObject
{
public:
    // Owned by the dialog.
    PositionKeeper(QDialog *dialog, SettingsStore &store, const QString &prefix);
    ~PositionKeeper() override;

    // Moves the dialog to its stored position; call once its size is known.
    void place();
    // Writes the position and whatever else is pending in the store; later
    // calls do nothing.
    void save();
    // Stores where each dialog open now stands, without closing anything
    // (the desktop session ends); each is written again when it closes.
    static void storeOpenPositions();

private:
    QDialog *m_dialog;
    SettingsStore &m_store;
    QString m_prefix;
    QPointer<QWidget> m_owner;
    bool m_saved = false;
};
