#pragma once

#include <QObject>
#include <QString>

class QKeyEvent;
class QLineEdit;

// Whether a key press may reach a text box that takes only the allowed
// characters (any character when allowed is empty) and, typed, at most limit
// of them. Keys that type no character pass (Backspace, arrows, Tab, Return),
// and so do Ctrl shortcuts (Ctrl+C, V, X, A, Z): a Ctrl key never types, and
// a paste goes in whole, however long, to be checked when the value is taken.
// A character typed with Alt or Meta counts as typed; an Alt+letter that is
// a mnemonic never gets here, it is taken as a shortcut first.
bool mayTypeKey(const QLineEdit *box, const QKeyEvent *key, const QString &allowed, int limit);

// That rule on one box. The limit holds for typing only: a value set by the
// program (a stored one) is shown whole, never cut to something else.
class KeyFilter : public QObject
{
public:
    KeyFilter(QLineEdit *box, const QString &allowed, int limit);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_box;
    QString m_allowed;
    int m_limit;
};

// The characters of a port box and of an IP box.
inline const QString kPortCharacters = QStringLiteral("0123456789");
inline const QString kIpCharacters = QStringLiteral("0123456789.");
