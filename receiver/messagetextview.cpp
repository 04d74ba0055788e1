#include "messagetextview.h"

#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

namespace {

// A paragraph that continues the run of the one before it, not a line of
// the message.
constexpr int kContinuation = 1;

} // namespace

MessageTextView::MessageTextView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Every line wraps at the view's width, so a horizontal scroll bar is
    // never needed; left to itself the view shows one for a moment while a
    // new window is first laid out, and lays the window out twice.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A plain one-pixel frame in the shade styles outline frames with,
    // drawn by event(): the style's frame is rasterised as a path over the
    // whole view, and cost a new window's first paint more than its text.
    setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette colours = palette();
    constexpr int kOutlineDarker = 140;
    colours.setColor(QPalette::WindowText, colours.color(QPalette::Window).darker(kOutlineDarker));
    setPalette(colours);
    // Scrolling to the last page of what is shown brings the rest, however
    // the scroll bar is moved (paging through it moves it quietly).
    const auto nearEnd = [this] {
        const QScrollBar *bar = verticalScrollBar();
        if (!isWhole() && bar->value() >= bar->maximum() - bar->pageStep())
            showWhole();
    };
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, nearEnd);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, nearEnd);
    connect(verticalScrollBar(), &QScrollBar::sliderPressed, this, &MessageTextView::showWhole);
    // The lines at the top keep their shaped glyphs once laid out. Without
    // that, each use of a line shapes its text anew: placing the cursor
    // after the text is set, the first paint, the cursor when the window
    // takes the focus, and every blink of it. Only the beginning is kept,
    // so a long text costs no more memory than before. This runs before the
    // document's layout learns of the change.
    connect(document(), &QTextDocument::contentsChange, this, [this](int from, int, int added) {
        const int end = std::min(from + added, kCachedLayout);
        for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= end;
             block = block.next())
            block.layout()->setCacheEnabled(true);
    });
}

void MessageTextView::setMessage(const QString &text)
{
    m_message = text;
    qsizetype first = text.size();
    if (first > kFirstPart) {
        // Whole lines where there are any.
        const qsizetype lineEnd = text.lastIndexOf(u'\n', kFirstPart);
        first = lineEnd > kFirstPart / 2 ? lineEnd : kFirstPart;
    }
    show(first);
}

void MessageTextView::showWhole()
{
    if (isWhole())
        return;
    const int scrolled = verticalScrollBar()->value();
    const int position = textCursor().position();
    show(m_message.size());
    QTextCursor cursor = textCursor();
    cursor.setPosition(std::min(position, document()->characterCount() - 1));
    setTextCursor(cursor);
    verticalScrollBar()->setValue(scrolled);
}

void MessageTextView::show(qsizetype length)
{
    m_shown = length;
    // Where runs are cut, as positions in the text shown.
    QList<int> cuts;
    const QStringView text = QStringView(m_message).first(length);
    QString shown;
    shown.reserve(length + length / kLongestRun);
    qsizetype copied = 0;
    int run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isSpace()) {
            run = 0;
        } else if (++run > kLongestRun) {
            shown += text.sliced(copied, i - copied);
            copied = i;
            cuts.append(static_cast<int>(shown.size()));
            shown += u'\n';
            run = 1;
        }
    }
    shown += text.sliced(copied);
    // A run of letters wraps anywhere; other text at word boundaries where
    // it can.
    setWordWrapMode(cuts.isEmpty() ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::WrapAnywhere);
    // For the range of its scroll bar the view lays out the last page of
    // what it holds. While it holds only the beginning, that page is never
    // seen (scrolling to the end brings the rest), so the range is taken
    // from the line count instead, which needs no layout.
    setCenterOnScroll(!isWhole());
    setPlainText(shown);
    for (const int cut : std::as_const(cuts))
        document()->findBlock(cut + 1).setUserState(kContinuation);
}

void MessageTextView::drawOutline(QPainter &painter, const QRect &area) const
{
    const QColor outline = palette().color(QPalette::WindowText);
    painter.fillRect(QRect(area.left(), area.top(), area.width(), 1), outline);
    painter.fillRect(QRect(area.left(), area.bottom(), area.width(), 1), outline);
    painter.fillRect(QRect(area.left(), area.top(), 1, area.height()), outline);
    painter.fillRect(QRect(area.right(), area.top(), 1, area.height()), outline);
}

bool MessageTextView::event(QEvent *event)
{
    // The view's own paint event is its frame (the text is the viewport's).
    if (event->type() != QEvent::Paint || frameStyle() == QFrame::NoFrame)
        return QPlainTextEdit::event(event);
    QPainter painter(this);
    drawOutline(painter, rect());
    return true;
}

QString MessageTextView::textBetween(int start, int end) const
{
    QString text;
    for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() <= end;
         block = block.next()) {
        if (block.position() > start && block.userState() != kContinuation)
            text += u'\n';
        const int from = std::max(start - block.position(), 0);
        const int to = std::min(end - block.position(), block.length() - 1);
        if (to > from)
            text += block.text().mid(from, to - from);
    }
    return text;
}

QMimeData *MessageTextView::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto *mime = new QMimeData;
    mime->setText(textBetween(cursor.selectionStart(), cursor.selectionEnd()));
    return mime;
}

void MessageTextView::keyPressEvent(QKeyEvent *event)
{
    showWhole();
    QPlainTextEdit::keyPressEvent(event);
}

void MessageTextView::mousePressEvent(QMouseEvent *event)
{
    showWhole();
    QPlainTextEdit::mousePressEvent(event);
}

void MessageTextView::wheelEvent(QWheelEvent *event)
{
    showWhole();
    QPlainTextEdit::wheelEvent(event);
}

void MessageTextView::contextMenuEvent(QContextMenuEvent *event)
{
    showWhole();
    QPlainTextEdit::contextMenuEvent(event);
}
