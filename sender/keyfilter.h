#pragma once

#include <QObject>
#include <QString>

class QLineEdit;

// Lets only the given characters be typed into a text box. Keys that type
// no character (Backspace, arrows, shortcuts such as Ctrl+V) pass, so a
// paste still works; what a paste brings is checked when the value is taken.
class KeyFilter : public QObject
{
public:
    KeyFilter(QLineEdit *box, const QString &allowed);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString m_allowed;
};

// The characters of a port box and of an IP box.
inline const QString kPortCharacters = QStringLiteral("0123456789");
inline const QString kIpCharacters = QStringLiteral("0123456789.");
