// The message window: the sender line, the texts of one sender one after
// another, the reply port it hands on, and when it closes.
#include "messagetextview.h"
#include "messagewindow.h"
#include "receiversettings.h"
#include "wireformat.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {

// A message of the window's sender.
Message Text(const QString &text, qint32 port = 505, qint32 replyPort = 505,
             const QString &name = QStringLiteral("bob"))
{
    return Message{name, QStringLiteral("192.168.0.7"), static_cast<quint16>(port), replyPort, text};
}

struct Window
{
    explicit Window(const QString &name = QStringLiteral("bob"), qint32 port = 505, qint32 replyPort = 505)
    {
        window = new MessageWindow(settings);
        window->showFirst(3, Text(QStringLiteral("first"), port, replyPort, name));
    }
    ~Window() { delete window.data(); }

    QString label() const { return window->findChild<QLabel *>(QStringLiteral("Computer"))->text(); }
    QString shown() const
    {
        return window->findChild<QPlainTextEdit *>(QStringLiteral("TxtMessage"))->toPlainText();
    }
    QPushButton *button(const char *name) const
    {
        return window->findChild<QPushButton *>(QString::fromLatin1(name));
    }

    ReceiverSettings settings;
    QPointer<MessageWindow> window;
};

} // namespace

class TestMessageWindow : public QObject
{
    Q_OBJECT
private slots:
    void senderLine_data();
    void senderLine();
    void longNameFitsTheScreen_data();
    void longNameFitsTheScreen();
    void portOfLaterMessage_data();
    void portOfLaterMessage();
    void readNextWalksThroughTexts();
    void textsBeyondTheLimitDropped();
    void largeTextsBoundedByCharacters();
    void lineBreaksShownAsLines();
    void replyPort_data();
    void replyPort();
    void closesAfterReplyOnlyWhenNothingWaits_data();
    void closesAfterReplyOnlyWhenNothingWaits();
    void okFreesTheSlot();
    void unbrokenTextWrapsAnywhere_data();
    void unbrokenTextWrapsAnywhere();
    void burstActivatesOnlyTheLatestWindow();
};

// Counts the times a window became the active one.
class ActivationCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate)
            ++count;
        return false;
    }
};

void TestMessageWindow::burstActivatesOnlyTheLatestWindow()
{
    Window first;
    Window second(QStringLiteral("carol"));
    Window third(QStringLiteral("dave"));
    // The newest window is active; texts then arrive for the others in turn.
    QTRY_COMPARE(QApplication::activeWindow(), third.window.data());
    ActivationCounter firstActivations;
    ActivationCounter secondActivations;
    first.window->installEventFilter(&firstActivations);
    second.window->installEventFilter(&secondActivations);
    // Each text comes in an event-loop turn of its own, as from the network.
    for (int n = 0; n < 20; ++n) {
        first.window->addMessage(Text(QStringLiteral("to first"), 505, 505));
        QCoreApplication::processEvents();
        second.window->addMessage(Text(QStringLiteral("to second"), 505, 505));
        QCoreApplication::processEvents();
    }
    // The window with the latest text ends up active, and the burst switched
    // windows a few times at most rather than once a text.
    QTRY_COMPARE(QApplication::activeWindow(), second.window.data());
    QTest::qWait(200);
    QCOMPARE(QApplication::activeWindow(), second.window.data());
    QVERIFY2(firstActivations.count + secondActivations.count <= 4,
             qPrintable(QStringLiteral("%1 + %2").arg(firstActivations.count).arg(secondActivations.count)));
}

void TestMessageWindow::unbrokenTextWrapsAnywhere_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("anywhere");
    QString prose;
    while (prose.size() < kMaxPayloadBytes - 40)
        prose += QStringLiteral("a line of prose, as people write\n");
    QTest::newRow("64 KiB of one word") << QString(kMaxPayloadBytes, u'x') << true;
    QTest::newRow("64 KiB of prose") << prose << false;
    QTest::newRow("words around a long run")
        << QStringLiteral("ab ") + QString(450, u'y') + QStringLiteral(" cd\nef") << true;
}

void TestMessageWindow::unbrokenTextWrapsAnywhere()
{
    // Shown in pieces, and only the beginning at first; the whole text comes
    // in once the user reaches for it, and copies as it was sent.
    QFETCH(QString, text);
    QFETCH(bool, anywhere);
    Window w;
    auto *field = w.window->findChild<MessageTextView *>(QStringLiteral("TxtMessage"));
    w.window->addMessage(Text(text, 505, 505));
    w.window->onReadNextClicked();
    QCOMPARE(field->message(), text);
    QCOMPARE(field->isWhole(), text.size() <= MessageTextView::kFirstPart);
    QCOMPARE(field->wordWrapMode(),
             anywhere ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(field->isWhole());
    field->copy();
    QCOMPARE(QApplication::clipboard()->text(), text);
}

void TestMessageWindow::senderLine_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("named") << QStringLiteral("bob") << QStringLiteral("bob (192.168.0.7 Port:505) Send:");
    QTest::newRow("empty name") << QString() << QStringLiteral("Anonymous (192.168.0.7 Port:505) Send:");
    QTest::newRow("markup kept as typed")
        << QStringLiteral("<img src=x>") << QStringLiteral("<img src=x> (192.168.0.7 Port:505) Send:");
    // A name cannot draw a line of its own, nor turn the line around.
    QTest::newRow("line breaks shown as symbols")
        << QStringLiteral("x\r\nboss (10.0.0.1 Port:505) Send:\n")
        << QStringLiteral("x\u240D\u240Aboss (10.0.0.1 Port:505) Send:\u240A (192.168.0.7 Port:505) Send:");
    QTest::newRow("direction overrides shown as symbols")
        << QStringLiteral("a\u202Eb\u2069") << QStringLiteral("a\uFFFDb\uFFFD (192.168.0.7 Port:505) Send:");
    QTest::newRow("right-to-left name isolated")
        << QStringLiteral("\u05E9\u05DC\u05D5\u05DD")
        << QStringLiteral("\u2068\u05E9\u05DC\u05D5\u05DD\u2069 (192.168.0.7 Port:505) Send:");
}

void TestMessageWindow::senderLine()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    Window w(name);
    QCOMPARE(w.label(), expected);
    QCOMPARE(w.window->findChild<QLabel *>(QStringLiteral("Computer"))->textFormat(), Qt::PlainText);
    QCOMPARE(w.window->windowTitle(), QStringLiteral("Message "));
    QCOMPARE(w.shown(), QStringLiteral("first"));
    QVERIFY(!w.button("ReadNext")->isVisible());
}

void TestMessageWindow::longNameFitsTheScreen_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("128 wide letters") << QString(128, u'W');
    QTest::newRow("60 KiB") << QString(60 * 1024, u'W');
}

void TestMessageWindow::longNameFitsTheScreen()
{
    QFETCH(QString, name);
    Window w(name);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(w.window->frameGeometry().width() <= screen.width());
    QVERIFY(w.window->height() <= screen.height());
    auto *line = w.window->findChild<QLabel *>(QStringLiteral("Computer"));
    QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->contentsRect().width());
    // The address and port always show; the name is shortened in its middle.
    QVERIFY(line->text().endsWith(QStringLiteral(" (192.168.0.7 Port:505) Send:")));
    QVERIFY(line->text().startsWith(QStringLiteral("WW")));
    QVERIFY(w.button("OKButton")->isVisible());
    QVERIFY(w.window->rect().contains(w.button("OKButton")->geometry()));
}

void TestMessageWindow::portOfLaterMessage_data()
{
    QTest::addColumn<qint32>("laterPort");
    QTest::addColumn<QString>("expected");
    QTest::newRow("same port") << 505 << QStringLiteral("bob (192.168.0.7 Port:505) Send:");
    QTest::newRow("other port") << 6000 << QStringLiteral("bob (192.168.0.7 Port:6000) Send:");
}

void TestMessageWindow::portOfLaterMessage()
{
    QFETCH(qint32, laterPort);
    QFETCH(QString, expected);
    Window w;
    w.window->addMessage(Text(QStringLiteral("second"), laterPort, 7));
    QCOMPARE(w.label(), expected);
    QCOMPARE(w.window->sender().localPort, laterPort);
    QCOMPARE(w.window->sender().replyPort, 7);
}

void TestMessageWindow::readNextWalksThroughTexts()
{
    Window w;
    w.window->addMessage(Text(QStringLiteral("second"), 505, 505));
    w.window->addMessage(Text(QStringLiteral("third"), 505, 505));
    QVERIFY(w.button("ReadNext")->isVisible());
    QVERIFY(w.button("ReadNext")->isEnabled());
    QCOMPARE(w.shown(), QStringLiteral("first"));
    QTest::mouseClick(w.button("ReadNext"), Qt::LeftButton);
    QCOMPARE(w.shown(), QStringLiteral("second"));
    QVERIFY(w.button("ReadNext")->isVisible());
    QTest::mouseClick(w.button("ReadNext"), Qt::LeftButton);
    QCOMPARE(w.shown(), QStringLiteral("third"));
    QVERIFY(!w.button("ReadNext")->isVisible());
    QCOMPARE(w.window->messages(), QStringList{QStringLiteral("third")});
}

void TestMessageWindow::textsBeyondTheLimitDropped()
{
    Window w;
    for (int i = 1; i <= MessageWindow::kMaxMessages + 10; ++i)
        w.window->addMessage(Text(QString::number(i), 505, 505));
    QCOMPARE(w.window->messages().size(), MessageWindow::kMaxMessages);
    QCOMPARE(w.window->messages().first(), QStringLiteral("first"));
    QCOMPARE(w.window->messages().last(), QString::number(MessageWindow::kMaxMessages - 1));
}

void TestMessageWindow::largeTextsBoundedByCharacters()
{
    Window w;
    const QString largest(kMaxPayloadBytes, u'x');
    const int fitting = static_cast<int>(
        (MessageWindow::kMaxHeldCharacters - w.window->messages().first().size()) / largest.size());
    for (int i = 0; i < fitting + 5; ++i)
        w.window->addMessage(Text(largest, 505, 505));
    QCOMPARE(w.window->messages().size(), 1 + fitting);
    // Reading one makes room for one more.
    QTest::mouseClick(w.button("ReadNext"), Qt::LeftButton);
    QTest::mouseClick(w.button("ReadNext"), Qt::LeftButton);
    w.window->addMessage(Text(QStringLiteral("small"), 505, 505));
    QCOMPARE(w.window->messages().size(), fitting);
    QCOMPARE(w.window->messages().last(), QStringLiteral("small"));
}

void TestMessageWindow::lineBreaksShownAsLines()
{
    Window w;
    w.window->addMessage(Text(QStringLiteral("one\r\ntwo"), 505, 505));
    QTest::mouseClick(w.button("ReadNext"), Qt::LeftButton);
    QCOMPARE(w.shown(), QStringLiteral("one\ntwo"));
}

void TestMessageWindow::replyPort_data()
{
    QTest::addColumn<qint32>("replyPort");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("reply port given") << 4000 << 4000;
    QTest::newRow("no reply port: the arrival port") << -1 << 505;
    QTest::newRow("reply port 0") << 0 << 0;
}

void TestMessageWindow::replyPort()
{
    QFETCH(qint32, replyPort);
    QFETCH(qint32, expected);
    Window w(QStringLiteral("bob"), 505, replyPort);
    QSignalSpy reply(w.window.data(), &MessageWindow::replyRequested);
    QTest::mouseClick(w.button("Reply2User"), Qt::LeftButton);
    QCOMPARE(reply.count(), 1);
    QCOMPARE(reply[0][0].toString(), QStringLiteral("bob"));
    QCOMPARE(reply[0][1].toString(), QStringLiteral("192.168.0.7"));
    QCOMPARE(reply[0][2].value<qint32>(), expected);
    QVERIFY(w.button("Reply2User")->isEnabled());
}

void TestMessageWindow::closesAfterReplyOnlyWhenNothingWaits_data()
{
    QTest::addColumn<bool>("moreWaiting");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<bool>("closes");
    QTest::newRow("handed over, nothing waits") << false << true << true;
    QTest::newRow("handed over, more waits") << true << true << false;
    QTest::newRow("not handed over") << false << false << false;
}

void TestMessageWindow::closesAfterReplyOnlyWhenNothingWaits()
{
    QFETCH(bool, moreWaiting);
    QFETCH(bool, delivered);
    QFETCH(bool, closes);
    Window w;
    QSignalSpy closed(w.window.data(), &MessageWindow::closed);
    if (moreWaiting)
        w.window->addMessage(Text(QStringLiteral("second"), 505, 505));
    w.window->onReplyFinished(delivered);
    QCOMPARE(closed.count(), closes ? 1 : 0);
    QCOMPARE(w.window->isVisible(), !closes);
}

void TestMessageWindow::okFreesTheSlot()
{
    Window w;
    QSignalSpy closed(w.window.data(), &MessageWindow::closed);
    w.window->addMessage(Text(QStringLiteral("discarded"), 505, 505));
    QTest::mouseClick(w.button("OKButton"), Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QCOMPARE(closed[0][0].toInt(), 3);
    QTRY_VERIFY(w.window.isNull()); // deleted once closed
}

QTEST_MAIN(TestMessageWindow)
#include "test_messagewindow.moc"
