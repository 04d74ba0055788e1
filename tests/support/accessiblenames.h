#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QStringList>
#include <QWidget>

// What a screen reader finds under window without a name of its own: every
// control that takes the focus and has neither an accessible name, nor a
// label bound to it with setBuddy(), nor a text of its own (a button), as
// "objectName (class)". A control whose focus goes to another (a focus
// proxy) is that other one.
inline QStringList UnnamedControls(QWidget *window)
{
    QList<const QWidget *> labelled;
    for (const QLabel *label : window->findChildren<QLabel *>())
        labelled << label->buddy();
    QStringList unnamed;
    QList<QWidget *> controls = window->findChildren<QWidget *>();
    controls.prepend(window);
    for (QWidget *control : std::as_const(controls)) {
        if (control->focusPolicy() == Qt::NoFocus || control->focusProxy() || !control->isVisibleTo(window))
            continue;
        const QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        if (!accessible || !accessible->state().focusable)
            continue;
        const auto *button = qobject_cast<QAbstractButton *>(control);
        const bool named = !control->accessibleName().trimmed().isEmpty() || labelled.contains(control) ||
                           (button && !button->text().remove(u'&').trimmed().isEmpty());
        if (!named)
            unnamed << control->objectName() + QStringLiteral(" (") +
                           QString::fromLatin1(control->metaObject()->className()) + u')';
    }
    return unnamed;
}
