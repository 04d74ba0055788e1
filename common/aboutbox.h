#pragma once

#include <QDialog>

class PositionKeeper;
class QLabel;
class QLineEdit;
class SettingsStore;

// The About box ("Credits") of either program: product name, version, a
// picture, what Quill is for, credits, and the contact addresses, which open
// the mail program and the browser when clicked. Its position is kept under
// "About " in the program's own store.
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    static const QString kEmail;
    static const QString kWebsite;

    AboutBox(const QString &productName, SettingsStore &store, QWidget *owner);
    ~AboutBox() override;

    void onCancelClicked();
    void onEmailClicked();
    void onWebsiteClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fill(const QString &productName);
    QLineEdit *addressField(const QString &name, const QString &text);
    void colourLink(QLineEdit *field);

    PositionKeeper *m_position;
    QLineEdit *m_email = nullptr;
    QLineEdit *m_website = nullptr;
};

// Shows the About box modally over owner and returns when it has closed.
void showAboutBox(QWidget *owner, const QString &productName, SettingsStore &store);

// The version both programs show: major "." minor.
QString versionText();
