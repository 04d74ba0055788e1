#pragma once

#include <QDialog>

class SettingsStore;

// The About box ("Credits") of either program: product name, version,
// purpose, credits and contact. Its position is kept under "About " in the
// program's store.
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    AboutBox(const QString &productName, SettingsStore &store, QWidget *owner);
    ~AboutBox() override;

private:
    SettingsStore &m_store;
};

// Shows the About box modally over owner and returns when it has closed.
void ShowAboutBox(QWidget *owner, const QString &productName, SettingsStore &store);
