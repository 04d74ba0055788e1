#include "messagefield.h"

#include "senttexts.h"

#include <QKeyEvent>
#include <QTextCursor>

MessageField::MessageField(SentTexts &sentTexts, QWidget *parent)
    : QPlainTextEdit(parent)
    , m_sentTexts(sentTexts)
{
    setObjectName(QStringLiteral("Text1"));
    setAccessibleName(tr("Message"));
    setTabChangesFocus(true);
}

void MessageField::keyPressEvent(QKeyEvent *event)
{
    // Shift alone; the keypad flag only says where Enter came from.
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier) {
        const int key = event->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            emit sendRequested();
        else if (key == Qt::Key_Up)
            replaceText(m_sentTexts.older());
        else if (key == Qt::Key_Down)
            replaceText(m_sentTexts.newer());
    }
    QPlainTextEdit::keyPressEvent(event);
}

void MessageField::replaceText(const QString &text)
{
    // The cursor goes to the start, as when a text is set.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::Start);
    setTextCursor(cursor);
}
