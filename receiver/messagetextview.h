#pragma once

#include <QPlainTextEdit>

// Shows one message, read-only but selectable and copyable, at a cost that
// does not depend on the sender's goodwill:
// - Any sender can send 64 KiB without a single break opportunity, and laying
//   out such a run takes time that grows with the square of its length. Runs
//   longer than kLongestRun are shown in pieces of that length, each a
//   paragraph of its own, so only the pieces in view are ever laid out; they
//   join again in what is copied.
// - A window shows a few dozen lines, so only the beginning of a long text is
//   put in at first; the rest follows as soon as the user reaches for it
//   (a key, a click, the wheel, the scroll bar near its end), before the key
//   or click takes effect.
class MessageTextView : public QPlainTextEdit
{
    Q_OBJECT
public:
    static constexpr int kLongestRun = 200;
    // More than a maximised window shows.
    static constexpr qsizetype kFirstPart = 4 * 1024;
    // The characters at the top whose lines keep their glyphs: about what
    // a large window shows.
    static constexpr int kCachedLayout = 2 * 1024;

    explicit MessageTextView(QWidget *parent = nullptr);

    // The text with LF line breaks.
    void setMessage(const QString &text);
    // What was set, as it was set, whether shown whole yet or not.
    const QString &message() const { return m_message; }
    bool isWhole() const { return m_shown == m_message.size(); }
    // Puts in the rest of the text, keeping where the user is.
    void showWhole();
    // The view's one-pixel frame, along the edges of area; for a parent
    // that draws it around a view without a frame of its own.
    void drawOutline(QPainter &painter, const QRect &area) const;

protected:
    bool event(QEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void show(qsizetype length);
    // The document's text between two positions, pieces joined.
    QString textBetween(int start, int end) const;

    QString m_message;
    qsizetype m_shown = 0;
};
