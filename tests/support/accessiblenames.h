#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QStringList>
#include <QWidget>
#include <cmath>

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

// The widgets under window whose text would be hard to read: foreground and
// background closer than 3 : 1 in contrast (WCAG relative luminance), as
// "objectName (class)". Run under a dark palette, it finds fixed colours.
inline QStringList HardToRead(QWidget *window)
{
    const auto luminance = [](const QColor &colour) {
        const auto channel = [](double c) {
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
               0.0722 * channel(colour.blueF());
    };
    QStringList hard;
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *widget : std::as_const(widgets)) {
        // Disabled controls may be faint, as contrast rules allow.
        if (!widget->isVisibleTo(window) || !widget->isEnabled())
            continue;
        // A text view draws its text on its viewport, in Text on Base.
        const bool view = widget->inherits("QAbstractScrollArea");
        const QPalette &colours = widget->palette();
        const double front = luminance(colours.color(view ? QPalette::Text : widget->foregroundRole()));
        const double back = luminance(colours.color(view ? QPalette::Base : widget->backgroundRole()));
        if ((std::max(front, back) + 0.05) / (std::min(front, back) + 0.05) < 3.0)
            hard << widget->objectName() + QStringLiteral(" (") +
                        QString::fromLatin1(widget->metaObject()->className()) + u')';
    }
    return hard;
}

// A dark palette as dark themes have, for HardToRead().
inline QPalette DarkPalette()
{
    QPalette dark;
    const QColor text(0xe8, 0xea, 0xed), window(0x20, 0x21, 0x24), base(0x30, 0x31, 0x34);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
        dark.setColor(role, text);
    for (const auto role : {QPalette::Window, QPalette::Button, QPalette::AlternateBase})
        dark.setColor(role, window);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::Link, QColor(0x8a, 0xb4, 0xf8));
    dark.setColor(QPalette::Highlight, QColor(0x8a, 0xb4, 0xf8));
    dark.setColor(QPalette::HighlightedText, window);
    return dark;
}

// Both checks on one window, each fault named with the window's objectName.
inline QStringList AccessibilityFaults(QWidget *window)
{
    QStringList faults;
    for (const QString &control : UnnamedControls(window))
        faults << window->objectName() + QStringLiteral(": no name: ") + control;
    for (const QString &widget : HardToRead(window))
        faults << window->objectName() + QStringLiteral(": hard to read: ") + widget;
    return faults;
}
