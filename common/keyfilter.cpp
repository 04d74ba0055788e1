#include "keyfilter.h"

#include <QKeyEvent>
#include <QLineEdit>

bool mayTypeKey(const QLineEdit *box, const QKeyEvent *key, const QString &allowed, int limit)
{
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (modifiers == Qt::ControlModifier)
        return true;
    qsizetype typed = 0;
    for (const QChar c : key->text()) {
        // Control characters (Backspace, Tab, Return, Escape) edit rather than type.
        if (!c.isPrint())
            continue;
        if (!allowed.isEmpty() && !allowed.contains(c))
            return false;
        ++typed;
    }
    return typed == 0 || box->text().size() - box->selectedText().size() + typed <= limit;
}

KeyFilter::KeyFilter(QLineEdit *box, const QString &allowed, int limit)
    : QObject(box)
    , m_box(box)
    , m_allowed(allowed)
    , m_limit(limit)
{
    box->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_box && event->type() == QEvent::KeyPress)
        return !mayTypeKey(m_box, static_cast<const QKeyEvent *>(event), m_allowed, m_limit);
    return QObject::eventFilter(watched, event);
}
