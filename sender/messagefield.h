#pragma once

#include <QPlainTextEdit>

class SentTexts;

// The main window's message field ("Text1"): Shift+Enter asks for the send,
// and Shift+Up and Shift+Down browse the sent texts. A text that browsing
// puts in replaces the field's text as one edit that the field's own undo
// takes back, so no draft is lost. The field still handles every key after
// that: Shift+Enter also breaks the line.
class MessageField : public QPlainTextEdit
{
    Q_OBJECT
public:
    MessageField(SentTexts &sentTexts, QWidget *parent = nullptr);

signals:
    void sendRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void replaceText(const QString &text);

    SentTexts &m_sentTexts;
};
