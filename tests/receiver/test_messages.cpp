// From a message to what the user sees: the router, with windows faked (one
// window per sender, address and name; at most 65; the queue when every
// window is taken or a modal dialog is open, its order and bounds; slots
// trimmed and reused), and the message window (the sender line, one sender's
// texts one after another, their bounds, a long text shown in pieces), and
// where windows open: inside the screen at any scale factor.
#include "admission.h"
#include "messagetextview.h"
#include "messagewindow.h"
#include "receiversettings.h"
#include "senderline.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

Message From(const QString &name, const QString &text = u"x"_s, const QString &address = u"10.0.0.1"_s,
             quint16 port = 505)
{
    return Message{name, address, port, 1, text};
}

// A window as the router sees it: its sender and the texts given to it.
struct FakeView : MessageView
{
    explicit FakeView(const Message &first)
        : sender(first)
        , texts{first.text}
    {}
    bool showsSender(const Message &message) const override { return sender.sameSender(message); }
    void addMessage(const Message &message) override { texts.append(message.text); }
    Message sender;
    QStringList texts;
};

struct Router : MessageRouter
{
    Router()
    {
        setWindowFactory([](int, const Message &first) { return new FakeView(first); });
    }
    FakeView *view(int slot) const { return static_cast<FakeView *>(windows().at(slot)); }
    // The window of slot closes, as a message window reports it.
    void close(int slot)
    {
        delete windows().at(slot);
        windowClosed(slot);
    }
};

struct Window
{
    Window() { window->showFirst(3, From(u"bob"_s, u"first"_s)); }
    ~Window() { delete window.data(); }
    QString line() const { return window->findChild<QLabel *>(u"Computer"_s)->text(); }
    QString shown() const { return window->findChild<MessageTextView *>()->message(); }
    QPushButton *readNext() const { return window->findChild<QPushButton *>(u"ReadNext"_s); }

    ReceiverSettings settings;
    QPointer<MessageWindow> window = new MessageWindow(settings);
};

} // namespace

class TestMessages : public QObject
{
    Q_OBJECT
private slots:
    void oneWindowPerSender()
    {
        Router router;
        router.route(From(u"bob"_s, u"first"_s));
        router.route(From(u"alice"_s));
        router.route(From(u"bob"_s, u"x"_s, u"10.0.0.2"_s));
        router.route(From(u"Bob"_s));
        router.route(From(u"bob"_s, u"second"_s));
        QCOMPARE(router.openWindowCount(), 4);
        QCOMPARE(router.view(0)->texts, QStringList({u"first"_s, u"second"_s}));
    }

    void queueWhenWindowsTaken()
    {
        Router router;
        for (int i = 0; i < MessageRouter::kMaxMessageWindows; ++i)
            router.route(From(QString::number(i)));
        for (const QString &text : {u"a"_s, u"b"_s, u"c"_s})
            router.route(From(text == u"b"_s ? u"later"_s : u"late"_s, text));
        QCOMPARE(router.windows().size(), MessageRouter::kMaxMessageWindows);
        QCOMPARE(router.queue().size(), 3);
        // While a modal dialog is open freed slots stay empty; empty ones at
        // the end are dropped.
        router.setReceiveReady(false);
        router.close(64);
        router.close(10);
        QCOMPARE(router.windows().size(), 64);
        QVERIFY(!router.windows().at(10));
        // Then the queue is worked off in arrival order, first free slot first.
        router.setReceiveReady(true);
        router.processQueue();
        QCOMPARE(router.view(10)->texts, QStringList({u"a"_s, u"c"_s}));
        QCOMPARE(router.view(64)->sender.name, u"later"_s);
        QCOMPARE(router.queue().size(), 0);
    }

    void queueBounds()
    {
        Router router;
        for (int i = 0; i < Admission::kMaxQueuedMessages - 5; ++i)
            router.enqueue(From(u"a"_s));
        // Senders still being read count as queued.
        QVERIFY(Admission::queueHasRoom(router.queue().size(), router.queuedBytes(), 4));
        QVERIFY(!Admission::queueHasRoom(router.queue().size(), router.queuedBytes(), 5));

        // Room is kept for the largest message, so the bytes bound comes first.
        Router bytes;
        const Message largest = From(QString(), QString(kMaxPayloadBytes, u'x'));
        int queued = 0;
        for (; Admission::queueHasRoom(bytes.queue().size(), bytes.queuedBytes(), 0); ++queued)
            bytes.enqueue(largest);
        QVERIFY(queued > 400 && queued < 600);
    }

    void senderLine()
    {
        QCOMPARE(shownSenderName(QString()), u"Anonymous"_s);
        // A name draws no line of its own and turns nothing around.
        QCOMPARE(shownSenderName(u"x\r\nboss\x7f"_s), u"x\u240D\u240Aboss\u2421"_s);
        QCOMPARE(shownSenderName(u"a\u202Eb\u2069c"_s), u"a\uFFFDb\uFFFDc"_s);
        QCOMPARE(shownSenderName(u"\u05E9\u05DC\u05D5\u05DD"_s), u"\u2068\u05E9\u05DC\u05D5\u05DD\u2069"_s);
        // One longer than the screen is shortened in its middle; the address
        // and port always show.
        const QFontMetrics metrics(QApplication::font());
        const QString line = fittedSenderLine(QString(60 * 1024, u'W'), u"10.0.0.1"_s, 505, metrics, 400);
        QVERIFY(metrics.horizontalAdvance(line) <= 400);
        QVERIFY(line.startsWith(u"WW"_s) && line.endsWith(u"W (10.0.0.1 Port:505) Send:"_s));
        // A window made narrower fits its line again.
        ReceiverSettings settings;
        MessageWindow window(settings);
        window.prepare();
        window.showFirst(0, From(QString(200, u'W')));
        const QLabel *label = window.findChild<QLabel *>(u"Computer"_s);
        const QString wide = label->text();
        window.resize(window.minimumSizeHint().width(), window.height());
        QVERIFY(label->text().size() < wide.size());
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width());
    }

    void textsOneAfterAnother()
    {
        Window w;
        QCOMPARE(w.line(), u"bob (10.0.0.1 Port:505) Send:"_s);
        // Each text says how far its sender is known, beside the line.
        Message second = From(u"bob"_s, u"second"_s),
                third = From(u"bob"_s, u"one\r\ntwo"_s, u"10.0.0.1"_s, 6000);
        second.trust = SenderTrust::Verified;
        third.trust = SenderTrust::Impostor;
        w.window->addMessage(second);
        w.window->addMessage(third);
        const QLabel *trust = w.window->findChild<QLabel *>(u"Security"_s);
        // The line shows the port of the latest message.
        QCOMPARE(w.line(), u"bob (10.0.0.1 Port:6000) Send:"_s);
        QCOMPARE(w.shown(), u"first"_s);
        QCOMPARE(trust->text(), u"not encrypted"_s);
        QTest::mouseClick(w.readNext(), Qt::LeftButton);
        QCOMPARE(w.shown(), u"second"_s);
        QCOMPARE(trust->text(), u"encrypted, verified"_s);
        QVERIFY(!trust->font().bold());
        QTest::mouseClick(w.readNext(), Qt::LeftButton);
        QCOMPARE(w.shown(), u"one\ntwo"_s);
        QVERIFY(trust->text().startsWith(u"WARNING: not encrypted"_s) && trust->font().bold());
        QVERIFY(!w.readNext()->isVisible());
    }

    void textBounds()
    {
        Window w;
        for (int i = 1; i <= MessageWindow::kMaxMessages + 10; ++i)
            w.window->addMessage(From(u"bob"_s, QString::number(i)));
        QCOMPARE(w.window->messages().size(), MessageWindow::kMaxMessages);
        QCOMPARE(w.window->messages().last(), QString::number(MessageWindow::kMaxMessages - 1));

        Window large;
        const Message largest = From(u"bob"_s, QString(kMaxPayloadBytes, u'x'));
        const qsizetype fitting = (MessageWindow::kMaxHeldCharacters - 5) / kMaxPayloadBytes;
        for (int i = 0; i < fitting + 5; ++i)
            large.window->addMessage(largest);
        QCOMPARE(large.window->messages().size(), 1 + fitting);
        // Reading one makes room for one more.
        QTest::mouseClick(large.readNext(), Qt::LeftButton);
        large.window->addMessage(largest);
        QCOMPARE(large.window->messages().size(), 1 + fitting);
    }

    void fatesReported()
    {
        // Recorded texts (history ids 1..) tell the history what became of them.
        ReceiverSettings settings;
        auto *window = new MessageWindow(settings);
        QList<QPair<qint64, MessageFate>> fates;
        connect(window, &MessageWindow::fateChanged, this, [&fates](qint64 id, MessageFate fate) {
            fates.append({id, fate});
        });
        Message first = From(u"bob"_s, u"1"_s);
        first.historyId = 1;
        window->showFirst(0, first);
        for (qint64 id = 2; id <= MessageWindow::kMaxMessages + 2; ++id) {
            Message next = From(u"bob"_s, QString::number(id));
            next.historyId = id;
            window->addMessage(next);
        }
        auto *notShown = window->findChild<QLabel *>(u"NotShown"_s);
        QVERIFY(notShown->isVisibleTo(window));
        QVERIFY(notShown->text().startsWith(u"2 more"_s));
        window->onReadNextClicked();
        window->close(); // deletes itself
        QCOMPARE(fates.size(), MessageWindow::kMaxMessages + 2);
        QCOMPARE(fates.first(), qMakePair(qint64(MessageWindow::kMaxMessages + 1), MessageFate::NotShown));
        QCOMPARE(fates[2], qMakePair(qint64(1), MessageFate::Read));
        QCOMPARE(fates[3], qMakePair(qint64(2), MessageFate::Read)); // on display when closed
        QCOMPARE(fates[4], qMakePair(qint64(3), MessageFate::UnreadAtClose));
        QCOMPARE(fates.last().second, MessageFate::UnreadAtClose);

        // Ended by the program, not the user: nothing counts as read.
        Window ended;
        QList<MessageFate> left;
        connect(ended.window, &MessageWindow::fateChanged, this,
                [&left](qint64, MessageFate fate) { left.append(fate); });
        Message recorded = From(u"bob"_s);
        recorded.historyId = 7;
        ended.window->addMessage(recorded);
        delete ended.window.data();
        QCOMPARE(left, QList<MessageFate>{MessageFate::UnreadAtClose});
    }

    void keysHeldOffAfterShowingAndNewText()
    {
        constexpr int kLong = 60000; // outlasts any slow run
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            ReceiverSettings settings;
            settings.playIncomingSound = false;
            const std::unique_ptr<MessageWindow> fresh(new MessageWindow(settings)),
                window(new MessageWindow(settings));
            const auto pressOk = [key](MessageWindow *w) {
                QTest::keyClick(w->findChild<QPushButton *>(u"OKButton"_s), key);
                return w->isVisible();
            };
            // A new window takes no keys at first, but a click.
            fresh->setKeyGuardTime(kLong);
            fresh->showFirst(0, From(u"bob"_s));
            QVERIFY(pressOk(fresh.get()));
            QTest::mouseClick(fresh->findChild<QPushButton *>(u"OKButton"_s), Qt::LeftButton);
            QVERIFY(!fresh->isVisible());
            // A new text holds keys off again; once that is over, keys work.
            window->setKeyGuardTime(0);
            window->showFirst(1, From(u"bob"_s));
            window->setKeyGuardTime(kLong);
            window->addMessage(From(u"bob"_s, u"second"_s));
            QVERIFY(pressOk(window.get()));
            window->setKeyGuardTime(0);
            window->addMessage(From(u"bob"_s, u"third"_s));
            QVERIFY(!pressOk(window.get()));
        }
    }

    void newWindowsLaidOutAndPaintedOnce()
    {
        // Built ahead as Quillbox does, then shown for messages that arrive
        // together (one sender's second text among them): each window's
        // widgets are painted when it appears, and not a second time, nor as
        // the focus moves from window to window; its text view learnt its
        // size while being built, so the text is laid out once, when it is
        // set.
        ReceiverSettings settings;
        struct EventCounter : QObject
        {
            int paints = 0;
            int resizes = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint;
                resizes += event->type() == QEvent::Resize;
                return false;
            }
        };
        std::vector<std::unique_ptr<MessageWindow>> windows;
        std::vector<std::unique_ptr<EventCounter>> labels, views, frames;
        EventCounter secondReadNext;
        for (int slot = 0; slot < 4; ++slot) {
            windows.push_back(std::make_unique<MessageWindow>(settings));
            windows.back()->prepare();
            frames.push_back(std::make_unique<EventCounter>());
            windows.back()->installEventFilter(frames.back().get());
            labels.push_back(std::make_unique<EventCounter>());
            windows.back()->findChild<QLabel *>(u"Computer"_s)->installEventFilter(labels.back().get());
            views.push_back(std::make_unique<EventCounter>());
            windows.back()->findChild<MessageTextView *>()->installEventFilter(views.back().get());
        }
        windows[1]->findChild<QPushButton *>(u"ReadNext"_s)->installEventFilter(&secondReadNext);
        // Shown from a queued call, as the network's messages are.
        QMetaObject::invokeMethod(
            this,
            [&windows] {
                for (int slot = 0; slot < 4; ++slot)
                    windows[slot]->showFirst(slot, From(QString::number(slot), u"hello"_s));
                windows[1]->addMessage(From(u"1"_s, u"again"_s));
            },
            Qt::QueuedConnection);
        QTRY_VERIFY(std::all_of(labels.cbegin(), labels.cend(), [](const auto &l) { return l->paints > 0; }));
        // Whatever the windows posted meanwhile is handled, and the one
        // with the latest text has taken the focus.
        QTRY_VERIFY(windows[1]->isActiveWindow());
        for (int turn = 0; turn < 5; ++turn)
            QCoreApplication::processEvents();
        for (const auto &label : labels)
            QCOMPARE(label->paints, 1);
        for (const auto &frame : frames)
            QCOMPARE(frame->paints, 1);
        for (const auto &view : views)
            QCOMPARE(view->resizes, 0);
        QCOMPARE(secondReadNext.paints, 1);
        // What changes later is painted.
        auto *readNext = windows[0]->findChild<QPushButton *>(u"ReadNext"_s);
        EventCounter button;
        readNext->installEventFilter(&button);
        windows[0]->addMessage(From(u"0"_s, u"second"_s));
        QTRY_VERIFY(button.paints > 0);
    }

    void topLinesKeepTheirGlyphs()
    {
        // Shaped once, not again for the cursor, each paint and each blink;
        // only at the top, so a long text holds no more than before.
        MessageTextView view;
        view.setMessage(u"a line of prose, as people write\n"_s.repeated(500));
        const QTextDocument *document = view.document();
        QVERIFY(document->firstBlock().layout()->cacheEnabled());
        QVERIFY(document->findBlock(MessageTextView::kCachedLayout - 40).layout()->cacheEnabled());
        QVERIFY(!document->findBlock(MessageTextView::kCachedLayout + 40).layout()->cacheEnabled());
        // The same for a text set later in the same view.
        view.setMessage(u"short"_s);
        QVERIFY(view.document()->firstBlock().layout()->cacheEnabled());
    }

    void longTextShownInPieces()
    {
        // Only its beginning at first, the rest once the user reaches for it;
        // copied as it was sent. A long run without a break wraps anywhere:
        // laid out at word boundaries it would take seconds.
        const QString prose = u"a line of prose, as people write\n"_s.repeated(1900);
        for (const QString &text :
             QStringList{QString(kMaxPayloadBytes, u'x'), prose, u"ab "_s + QString(450, u'y') + u" c"_s}) {
            MessageTextView view;
            view.resize(400, 200);
            static_cast<QWidget &>(view).show();
            view.setMessage(text);
            QCOMPARE(view.isWhole(), text.size() <= MessageTextView::kFirstPart);
            // Shown from its beginning, with the cursor there.
            QCOMPARE(view.textCursor().position(), 0);
            QCOMPARE(view.verticalScrollBar()->value(), 0);
            QCOMPARE(view.wordWrapMode(),
                     text == prose ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::WrapAnywhere);
            // Nothing is laid out beyond what is seen: not even the last
            // page of the beginning, which scrolling to it would replace.
            QCOMPARE(view.document()->lastBlock().layout()->lineCount() > 0, view.isWhole());
            // Paging down brings the rest before a page of nothing could
            // show after what is shown.
            QScrollBar *bar = view.verticalScrollBar();
            const QPoint bottomLeft(1, view.viewport()->height() - 1);
            for (int page = 0; page < 500 && !view.isWhole(); ++page) {
                QVERIFY(view.cursorForPosition(bottomLeft).position() <
                        view.document()->characterCount() - 1);
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            }
            QVERIFY(view.isWhole());
            QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
            view.copy();
            QCOMPARE(QApplication::clipboard()->text(), text);
            // Once whole, the end of the scroll bar is the end of the text.
            bar->setValue(bar->maximum());
            QTextCursor end(view.document());
            end.movePosition(QTextCursor::End);
            const int bottom = view.cursorRect(end).bottom(), height = view.viewport()->height();
            QVERIFY(bar->maximum() == 0 ||
                    (bottom > height - 2 * view.fontMetrics().lineSpacing() && bottom <= height));
        }
    }

    void windowsInsideScreen()
    {
        // Run again at a scale factor of 2 (test_messages_scaled), where the
        // screen is half as large in the windows' units.
        const QString factor = qEnvironmentVariable("QT_SCALE_FACTOR", u"1"_s);
        QCOMPARE(qApp->devicePixelRatio(), factor.toDouble());
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        ReceiverSettings settings;
        // Every step of the cascade.
        for (int slot = 0; slot < 10; ++slot) {
            MessageWindow window(settings);
            window.showFirst(slot, From(u"bob"_s));
            QVERIFY(area.contains(window.pos())); // from the start: the title bar
            QTRY_VERIFY2(area.contains(window.frameGeometry()), qPrintable(u"slot %1"_s.arg(slot)));
        }
        // A corner stored at the screen's far edge, in twips.
        QTemporaryDir folder;
        SettingsStore store = SettingsStore::atPath(folder.filePath(u"s.ini"_s));
        store.save(u"Settings"_s, u"StartUPX"_s, QString::number(screenSizeTwips().width()));
        store.save(u"Settings"_s, u"StartUPY"_s, QString::number(screenSizeTwips().height()));
        QWidget other;
        other.resize(150, 100);
        placeWindow(&other, store, {});
        other.show();
        QTRY_VERIFY(area.contains(other.frameGeometry()));
    }
};

QTEST_MAIN(TestMessages)
#include "test_messages.moc"
