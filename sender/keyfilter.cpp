#include "keyfilter.h"

#include <QKeyEvent>
#include <QLineEdit>

KeyFilter::KeyFilter(QLineEdit *box, const QString &allowed)
    : QObject(box)
    , m_allowed(allowed)
{
    box->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = key->text();
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        // Control characters (Backspace among them) edit rather than type.
        if (c.isPrint() && !m_allowed.contains(c))
            return true;
    }
    return false;
}
