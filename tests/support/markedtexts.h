#pragma once

#include "accessiblenames.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStringList>
#include <QTest>
#include <QTranslator>
#include <QTreeWidget>
#include <QWidget>
#include <algorithm>

// While it lives (and is on), every text that goes through tr() comes out
// between U+27E6 and U+27E7: a text shown without the marks never went
// through it.
class MarkingTranslator : public QTranslator
{
public:
    explicit MarkingTranslator(bool on)
    {
        if (on)
            QCoreApplication::installTranslator(this);
    }
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *source, const char * = nullptr, int = -1) const override
    {
        return u'\u27E6' + QString::fromUtf8(source) + u'\u27E7';
    }
};

// The texts window and its children show that did not go through tr(), as
// "objectName: text": its title, labels, buttons, group boxes, actions and
// menus, the items of fixed combo boxes, placeholders, suffixes, tool tips,
// accessible names and column headers. Texts without a letter (addresses,
// ports, numbers) and the data given are left out.
inline QStringList UnmarkedTexts(QWidget *window, const QStringList &data = {})
{
    QStringList unmarked;
    const auto check = [&](const QObject *owner, const QString &text) {
        if (text.contains(u'\u27E6') || data.contains(text) ||
            std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetter(); }))
            return;
        unmarked << owner->objectName() + QStringLiteral(": ") + text;
    };
    check(window, window->windowTitle());
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (const QWidget *widget : std::as_const(widgets)) {
        check(widget, widget->toolTip());
        check(widget, widget->accessibleName());
        if (const auto *label = qobject_cast<const QLabel *>(widget))
            check(label, label->text());
        if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
            check(button, button->text());
        if (const auto *box = qobject_cast<const QGroupBox *>(widget))
            check(box, box->title());
        if (const auto *field = qobject_cast<const QLineEdit *>(widget))
            check(field, field->placeholderText());
        if (const auto *spin = qobject_cast<const QAbstractSpinBox *>(widget))
            check(spin, spin->specialValueText());
        if (const auto *spin = qobject_cast<const QSpinBox *>(widget))
            check(spin, spin->suffix());
        if (const auto *combo = qobject_cast<const QComboBox *>(widget); combo && !combo->isEditable()) {
            for (int i = 0; i < combo->count(); ++i)
                check(combo, combo->itemText(i));
        }
        if (const auto *tree = qobject_cast<const QTreeWidget *>(widget)) {
            for (int i = 0; i < tree->columnCount(); ++i)
                check(tree, tree->headerItem()->text(i));
        }
    }
    for (const QAction *action : window->findChildren<QAction *>())
        check(action, action->text());
    return unmarked;
}

// The rows of a walk through every window of a program: once for the names a
// screen reader finds, once for the texts that did not go through tr().
inline void WindowWalkRows()
{
    QTest::addColumn<bool>("marked");
    QTest::newRow("a name for each control, readable when dark") << false;
    QTest::newRow("each text through tr()") << true;
}

// What the row's walk finds wrong in the windows (shown first), as
// "window: what"; data as for UnmarkedTexts().
inline QStringList WindowWalk(bool marked, const QList<QWidget *> &windows, const QStringList &data = {})
{
    QStringList found;
    for (QWidget *window : windows)
        window->show();
    if (marked) {
        for (QWidget *window : windows) {
            for (const QString &problem : UnmarkedTexts(window, data))
                found << window->objectName() + QStringLiteral(": ") + problem;
        }
        return found;
    }
    // The theme turns dark while the windows are open: they must follow.
    const QPalette light = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    for (QWidget *window : windows)
        found << AccessibilityFaults(window);
    QApplication::setPalette(light);
    return found;
}
