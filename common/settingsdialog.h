#pragma once

#include <QDialog>
#include <QString>

class PositionKeeper;
class QHBoxLayout;
class SettingsStore;

// What every settings dialog of both programs shares: the Load / Apply /
// Reset / Cancel row, a start position of its own in the store, and its
// section written back whichever way it closes (Apply, Cancel, the close
// button, Escape or its owner going away), exactly once.
class SettingsDialog : public QDialog
{
    Q_OBJECT
public:
    // Load: fill the fields from the settings. Apply: take each checked value
    // over and close. Reset: fill the fields with the defaults.
    virtual void onLoadClicked() = 0;
    virtual void onApplyClicked() = 0;
    virtual void onResetClicked() = 0;
    void onCancelClicked();

    void done(int result) override;

protected:
    SettingsDialog(SettingsStore &store, const QString &positionPrefix, QWidget *owner);

    // The four buttons, in a row to put below the fields.
    QHBoxLayout *commandButtons();
    // Fills the fields and moves the dialog to its stored position; called
    // once the fields exist.
    void fillAndPlace();
    // Writes the section and the position. A derived destructor calls it,
    // since by the time this class's own destructor runs the settings the
    // section comes from may be gone.
    void saveOnClose();
    virtual void writeSettings() = 0;

    // A field that failed its check: says so in a box and puts the caret
    // there, so the dialog stays open for a correction.
    void failCheck(QWidget *field, const QString &text);

    SettingsStore &m_store;

private:
    PositionKeeper *m_position;
    bool m_unloaded = false;
};
