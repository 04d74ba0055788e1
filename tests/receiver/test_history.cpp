// The message history: records that land and stay, fates, batching, a file
// locked by another process, what a killed process keeps, owner-only files,
// bounds, search, the History window and a database that cannot be opened.
#include "historymodel.h"
#include "historywindow.h"
#include "messagehistory.h"
#include "messagetextview.h"
#include "senderline.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeView>

#include <memory>
#include <signal.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

constexpr char kChildSwitch[] = "--record-until-killed";

Message Msg(const QString &text, const QString &name = QStringLiteral("bob"), qint32 replyPort = 3000,
            quint16 localPort = 2000, const QString &address = QStringLiteral("10.0.0.7"))
{
    return Message{name, address, localPort, replyPort, text};
}

// The test's own look into a history file.
struct Sql
{
    explicit Sql(const QString &path)
    {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test"));
        db.setDatabaseName(path);
        db.open();
    }
    ~Sql()
    {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("test"));
    }
    QVariant value(const QString &statement)
    {
        QSqlQuery query(db);
        return query.exec(statement) && query.next() ? query.value(0) : QVariant();
    }
    QSqlDatabase db;
};

mode_t Mode(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

QList<qint64> Ids(const QList<HistoryEntry> &entries)
{
    QList<qint64> ids;
    for (const HistoryEntry &entry : entries)
        ids.append(entry.id);
    return ids;
}

// The child: records a message every two milliseconds until it is killed
// (or half a minute has passed).
int RecordUntilKilled(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    MessageHistory history(QString::fromLocal8Bit(argv[2]));
    QTextStream(stdout) << (history.isOpen() ? "ready" : "failed") << Qt::endl;
    for (int i = 0; i < 15000; ++i) {
        history.record(Msg(QString::number(i)), MessageFate::Shown);
        QThread::msleep(2);
    }
    return 0;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(QStringLiteral("Quillbox/history.sqlite"));
    }

    void recordsSurviveReopening()
    {
        QList<Message> sent{Msg(QStringLiteral("one\r\ntwo")), Msg(QStringLiteral("x"), QString(), -1, 1),
                            Msg(QStringLiteral("\u00e9t\u00e9 \U0001F600"), QStringLiteral("\u0645"), 0),
                            Msg(u"nul"_s + QChar(0) + u"kept"_s), Msg(QString())};
        QList<qint64> ids;
        const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
        {
            MessageHistory history(m_path);
            QVERIFY2(history.isOpen(), qPrintable(history.errorString()));
            for (const Message &message : sent)
                ids.append(history.record(message, MessageFate::Shown));
            QVERIFY(history.flush());
        }
        MessageHistory history(m_path);
        const QList<HistoryEntry> entries = history.page(QString(), 0, 10);
        QCOMPARE(Ids(entries), (QList<qint64>{ids[4], ids[3], ids[2], ids[1], ids[0]}));
        QCOMPARE(ids[1], ids[0] + 1);
        for (qsizetype i = 0; i < sent.size(); ++i) {
            const HistoryEntry entry = history.entry(ids[i]);
            QCOMPARE(entry.name, sent[i].name);
            QCOMPARE(entry.address, sent[i].address);
            QCOMPARE(entry.localPort, sent[i].localPort);
            QCOMPARE(entry.replyPort, sent[i].replyPort);
            QCOMPARE(entry.text, sent[i].text);
            QCOMPARE(entry.fate, MessageFate::Shown);
            QVERIFY(entry.received >= before && entry.received <= QDateTime::currentDateTimeUtc());
        }
        QCOMPARE(history.unreadCount(), 5);
        QCOMPARE(history.record(Msg(QStringLiteral("next")), MessageFate::Read), ids[4] + 1);
        // Stored as text, so that searching and cutting count characters.
        Sql sql(m_path);
        QSqlQuery check(sql.db);
        QVERIFY(check.exec(u"SELECT count(*) FROM messages WHERE typeof(text) <> 'text'"_s) && check.next());
        QCOMPARE(check.value(0).toInt(), 0);
    }

    void olderFileGetsKeyColumns()
    {
        // A file of the first schema, before messages carried keys.
        QVERIFY(MessageHistory(m_path).record(Msg(u"old"_s), MessageFate::Shown) > 0);
        {
            Sql sql(m_path);
            QSqlQuery drop(sql.db);
            QVERIFY(drop.exec(u"ALTER TABLE messages DROP COLUMN trust"_s) &&
                    drop.exec(u"ALTER TABLE messages DROP COLUMN sender_key"_s));
        }
        MessageHistory history(m_path);
        QVERIFY2(history.isOpen(), qPrintable(history.errorString()));
        Message message = Msg(u"new"_s);
        message.senderKey = QByteArray(32, '\x01');
        message.trust = SenderTrust::Impostor;
        const qint64 id = history.record(message, MessageFate::Shown);
        QVERIFY(history.flush());
        QCOMPARE(history.entry(id).senderKey, message.senderKey);
        QCOMPARE(history.entry(id).trust, SenderTrust::Impostor);
        QCOMPARE(history.entry(id - 1).text, u"old"_s);
    }

    void fatesQueuedAndCommitted()
    {
        MessageHistory history(m_path);
        QSignalSpy unread(&history, &MessageHistory::unreadCountChanged);
        const qint64 a = history.record(Msg(QStringLiteral("a")), MessageFate::Shown);
        const qint64 b = history.record(Msg(QStringLiteral("b")), MessageFate::NotShown);
        const qint64 c = history.record(Msg(QStringLiteral("c")), MessageFate::Read);
        history.setFate(a, MessageFate::Read); // still queued
        QVERIFY(history.flush());
        QTRY_COMPARE(history.unreadCount(), 1);
        history.setFate(b, MessageFate::UnreadAtClose); // committed already
        history.setFate(c, MessageFate::Shown);
        QVERIFY(history.flush());
        QCOMPARE(history.entry(a).fate, MessageFate::Read);
        QCOMPARE(history.entry(b).fate, MessageFate::UnreadAtClose);
        QCOMPARE(history.entry(c).fate, MessageFate::Shown);
        QTRY_COMPARE(history.unreadCount(), 2);
        QCOMPARE(unread.last().at(0).toInt(), 2);
    }

    void burstIsBatched()
    {
        MessageHistory history(m_path);
        constexpr int kCount = 3000;
        qint64 last = 0;
        for (int i = 0; i < kCount; ++i)
            last = history.record(Msg(QStringLiteral("burst %1").arg(i)), MessageFate::NotShown);
        QVERIFY(history.flush());
        QCOMPARE(Sql(m_path).value(QStringLiteral("SELECT count(*) FROM messages")).toInt(), kCount);
        QCOMPARE(history.entry(last).text, QStringLiteral("burst %1").arg(kCount - 1));
        QCOMPARE(history.droppedCount(), 0);
        QVERIFY2(history.commitCount() < 60, QByteArray::number(history.commitCount()));
    }

    void fullQueueDropsOldestQueued()
    {
        MessageHistory history(m_path);
        history.setLimits(0, 0);
        const auto admission = std::make_shared<Admission>();
        history.setAdmission(admission);
        QSignalSpy dropped(&history, &MessageHistory::dropped);
        Sql other(m_path);
        QSqlQuery lock(other.db);
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE"))); // the disk "stalls"
        const qint64 total = 2 * MessageHistory::kMaxPendingRecords;
        qint64 last = 0;
        qint64 refusedFrom = -1; // where the network would have stopped letting senders in
        for (qint64 i = 0; i < total; ++i) {
            if (refusedFrom < 0 && !admission->admits(0))
                refusedFrom = i;
            last = history.record(Msg(QString::number(i)), MessageFate::Shown);
        }
        QVERIFY(refusedFrom > 0 && refusedFrom < total);
        QVERIFY(history.droppedCount() > 0);
        QSignalSpy room(&history, &MessageHistory::roomMade);
        QVERIFY(lock.exec(QStringLiteral("COMMIT")));
        QVERIFY(history.flush());
        QTRY_VERIFY(!room.isEmpty());
        QVERIFY(admission->admits(0));
        const qint64 kept = other.value(QStringLiteral("SELECT count(*) FROM messages")).toLongLong();
        QCOMPARE(kept + history.droppedCount(), total);
        QCOMPARE(history.entry(last).id, last); // the newest were kept
        QTRY_VERIFY(!dropped.isEmpty());
    }

    void lockedFileWaitedFor()
    {
        MessageHistory history(m_path);
        QSignalSpy dropped(&history, &MessageHistory::dropped);
        Sql other(m_path);
        QSqlQuery lock(other.db);
        // Another process writes for longer than the busy time-out (2 s).
        QVERIFY(lock.exec(u"BEGIN IMMEDIATE"_s));
        for (int i = 0; i < 100; ++i)
            history.record(Msg(QString::number(i)), MessageFate::Shown);
        QVERIFY(!dropped.wait(3000));
        QVERIFY(lock.exec(u"COMMIT"_s));
        QVERIFY(history.flush());
        QCOMPARE(other.value(u"SELECT count(*) FROM messages"_s).toInt(), 100);
        QCOMPARE(history.droppedCount(), 0);
    }

    void killedProcessKeepsAllButTheLastMoments()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kChildSwitch), m_path});
        QVERIFY(child.waitForReadyRead(30000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("ready"));
        QTest::qWait(1500);
        const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(::kill(pid_t(child.processId()), SIGKILL), 0);
        QVERIFY(child.waitForFinished(10000));

        MessageHistory history(m_path);
        QVERIFY(history.isOpen());
        Sql sql(m_path);
        const qint64 count = sql.value(QStringLiteral("SELECT count(*) FROM messages")).toLongLong();
        QVERIFY(count > 100);
        // Recorded in order, so no gap means everything before the newest.
        QCOMPARE(sql.value(QStringLiteral("SELECT max(id) FROM messages")).toLongLong(), count);
        const qint64 newest = sql.value(QStringLiteral("SELECT max(received) FROM messages")).toLongLong();
        QVERIFY2(killedAt - newest < 500, QByteArray(QByteArray::number(killedAt - newest) + " ms lost"));
        // What the killed writer stored but had not indexed yet is indexed now.
        const QString newestText = QString::number(count - 1);
        QTRY_VERIFY(!history.page(newestText, 0, 1).isEmpty() &&
                    history.page(newestText, 0, 1)[0].id == count);
    }

    void ownerOnly_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("new folder and file") << false;
        QTest::newRow("existing, open to all") << true;
    }
    void ownerOnly()
    {
        QFETCH(bool, existing);
        const QString folder = QFileInfo(m_path).absolutePath();
        if (existing) {
            QVERIFY(QDir().mkpath(folder));
            QFile file(m_path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
            QVERIFY(::chmod(QFile::encodeName(m_path).constData(), 0666) == 0);
        }
        MessageHistory history(m_path);
        QVERIFY(history.isOpen());
        history.record(Msg(QStringLiteral("private")), MessageFate::Shown);
        QVERIFY(history.flush());
        QCOMPARE(Mode(folder), mode_t(0700));
        for (const char *suffix : {"", "-wal", "-shm"})
            QVERIFY2(Mode(m_path + QLatin1String(suffix)) == 0600, suffix);
    }

    void bounds_data()
    {
        QTest::addColumn<qint64>("maxMessages");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<qint64>("oldestKept");
        // Eight messages of 1009 bytes each (name, address, text).
        QTest::newRow("count") << qint64(5) << qint64(0) << qint64(4);
        QTest::newRow("bytes") << qint64(0) << qint64(3500) << qint64(6);
        QTest::newRow("bytes tighter") << qint64(5) << qint64(2100) << qint64(7);
        QTest::newRow("count tighter") << qint64(3) << qint64(1000000) << qint64(6);
        QTest::newRow("exact fit") << qint64(8) << qint64(8 * 1009) << qint64(1);
        QTest::newRow("none") << qint64(0) << qint64(0) << qint64(1);
    }
    void bounds()
    {
        QFETCH(qint64, maxMessages);
        QFETCH(qint64, maxBytes);
        QFETCH(qint64, oldestKept);
        auto history = std::make_unique<MessageHistory>(m_path);
        for (int i = 1; i <= 8; ++i) {
            if (i == 5) { // over two commits, the second after opening the file again
                QVERIFY(history->flush());
                history = std::make_unique<MessageHistory>(m_path);
            }
            history->setLimits(maxMessages, maxBytes);
            const QString text = QStringLiteral("w%1 ").arg(i).leftJustified(1000, u'x');
            history->record(Msg(text, QStringLiteral("n"), 1, 1, QStringLiteral("10.0.0.1")),
                            MessageFate::Read);
        }
        QVERIFY(history->flush());
        QList<qint64> expected;
        for (qint64 id = 8; id >= oldestKept; --id)
            expected.append(id);
        QCOMPARE(Ids(history->page(QString(), 0, 20)), expected);
        QCOMPARE(Ids(history->page(QStringLiteral("w1"), 0, 20)).size(), oldestKept == 1 ? 1 : 0);
        Sql sql(m_path);
        QSqlQuery check(sql.db);
        QVERIFY(check.exec(
            QStringLiteral("INSERT INTO messages_fts(messages_fts, rank) VALUES('integrity-check', 1)")));
    }

    void search_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QList<qint64>>("found");
        const QList<qint64> all{4, 3, 2, 1};
        QTest::newRow("prefix") << u"hel"_s << QList<qint64>{2, 1};
        QTest::newRow("two words") << u"hello wor"_s << QList<qint64>{1};
        QTest::newRow("case and accents") << u"W\u00d6RLD"_s << QList<qint64>{1};
        QTest::newRow("name") << u"bo"_s << QList<qint64>{4};
        QTest::newRow("empty") << QString() << all;
        QTest::newRow("quote") << u"\""_s << all;
        QTest::newRow("star") << u"*"_s << all;
        QTest::newRow("minus") << u"-"_s << all;
        QTest::newRow("parenthesis") << u")"_s << all;
        QTest::newRow("NEAR(") << u"NEAR("_s << QList<qint64>{2};
        QTest::newRow("open quote") << u"\"quot"_s << QList<qint64>{3};
        QTest::newRow("hyphenated") << u"a-b"_s << QList<qint64>{3};
        QTest::newRow("OR is a word") << u"hello OR bob"_s << QList<qint64>{};
        QTest::newRow("NOT is a word") << u"NOT hello"_s << QList<qint64>{};
        QTest::newRow("column filter") << u"text:hello"_s << QList<qint64>{};
        QTest::newRow("minus word") << u"hello -world"_s << QList<qint64>{1};
        QTest::newRow("caret and braces") << u"^hel {text} +"_s << QList<qint64>{};
    }
    void search()
    {
        QFETCH(QString, search);
        QFETCH(QList<qint64>, found);
        MessageHistory history(m_path);
        history.record(Msg(QStringLiteral("hello world"), QStringLiteral("al")), MessageFate::Read);
        history.record(Msg(QStringLiteral("help wanted near the door"), u"cy"_s), MessageFate::Read);
        history.record(Msg(QStringLiteral("a-b (c) \"quoted\" *star*"), u"di"_s), MessageFate::Read);
        history.record(Msg(QStringLiteral("nothing"), QStringLiteral("Bob")), MessageFate::Read);
        QVERIFY(history.flush());
        QCOMPARE(Ids(history.page(search, 0, 10)), found);
        QVERIFY2(history.errorString().isEmpty(), qPrintable(history.errorString()));
        if (found.size() > 1) // the next page starts below the first
            QCOMPARE(Ids(history.page(search, found[0], 10)), found.mid(1));
    }

    void disabledAndCleared()
    {
        MessageHistory history(m_path);
        history.setEnabled(false);
        QCOMPARE(history.record(Msg(QStringLiteral("off")), MessageFate::Shown), 0);
        history.setEnabled(true);
        const qint64 kept = history.record(Msg(QStringLiteral("before")), MessageFate::Shown);
        QVERIFY(history.flush());
        history.record(Msg(QStringLiteral("queued")), MessageFate::Shown);
        history.clear();
        const qint64 after = history.record(Msg(QStringLiteral("after")), MessageFate::Read);
        QVERIFY(history.flush());
        QVERIFY(after > kept);
        QCOMPARE(Ids(history.page(QString(), 0, 10)), QList<qint64>{after});
        QTRY_COMPARE(history.unreadCount(), 0);
    }

    void windowShowsFirstPageAndSearches()
    {
        MessageHistory history(m_path);
        const int stored = 2 * HistoryModel::kPageSize + 5;
        for (int i = 0; i < stored; ++i)
            history.record(Msg(QStringLiteral("filler %1").arg(i)), MessageFate::Read);
        history.record(Msg(QStringLiteral("needle\r\nin the stack"), QString(), -1, 2001), MessageFate::Read);
        QVERIFY(history.flush());
        HistoryWindow window(history);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("History"));
        QAbstractItemModel *model = window.findChild<QTreeView *>(QStringLiteral("List"))->model();
        // Only pages that the list needs were read.
        QVERIFY(model->rowCount() < stored);
        QCOMPARE(model->rowCount() % HistoryModel::kPageSize, 0);
        QCOMPARE(model->index(0, HistoryModel::SenderColumn).data().toString(),
                 QStringLiteral("Anonymous (10.0.0.7 Port:2001) Send:"));
        QCOMPARE(model->index(0, HistoryModel::TextColumn).data().toString(),
                 QStringLiteral("needle in the stack"));
        while (model->canFetchMore(QModelIndex()))
            model->fetchMore(QModelIndex());
        QCOMPARE(model->rowCount(), stored + 1);

        QTest::keyClicks(window.findChild<QLineEdit *>(QStringLiteral("Search")), QStringLiteral("NEEDL"));
        QTRY_COMPARE(model->rowCount(), 1);
        // Found once the writer has indexed it, without anyone asking.
        const qint64 newer = history.record(Msg(QStringLiteral("another needle")), MessageFate::Shown);
        QTRY_COMPARE(model->rowCount(), 2); // landed on top
        QCOMPARE(model->index(0, 0).data(HistoryModel::IdRole).toLongLong(), newer);
    }

    void windowRepliesAndCopies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint32>("replyPort");
        QTest::addColumn<qint32>("port");
        QTest::newRow("reply port") << u"ann"_s << 3000 << 3000;
        QTest::newRow("reply port 0") << u"ann"_s << 0 << 0;
        QTest::newRow("no reply port") << QString() << qint32(kNoReplyPort) << 2000;
    }
    void windowRepliesAndCopies()
    {
        QFETCH(QString, name);
        QFETCH(qint32, replyPort);
        QFETCH(qint32, port);
        MessageHistory history(m_path);
        history.record(Msg(QStringLiteral("line one\r\n<b>two</b>"), name, replyPort), MessageFate::Read);
        history.record(Msg(QStringLiteral("someone else"), u"eve"_s, 9, 9, u"10.9.9.9"_s), MessageFate::Read);
        QVERIFY(history.flush());
        HistoryWindow window(history);
        window.show();
        auto *list = window.findChild<QTreeView *>(QStringLiteral("List"));
        list->setCurrentIndex(list->model()->index(1, 0));
        QCOMPARE(window.findChild<MessageTextView *>(QStringLiteral("Text"))->message(),
                 QStringLiteral("line one\n<b>two</b>"));
        QSignalSpy reply(&window, &HistoryWindow::replyRequested);
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Reply")), Qt::LeftButton);
        QCOMPARE(reply.size(), 1);
        QCOMPARE(reply[0], (QVariantList{name, u"10.0.0.7"_s, port}));
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Copy")), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("line one\n<b>two</b>"));
    }

    void unopenableLeavesProgramWorking_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("folderIsFile");
        QByteArray garbage(65536, '\0');
        for (qsizetype i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 7919 + 13) % 251);
        QTest::newRow("garbage") << garbage << false;
        QTest::newRow("damaged header") << QByteArray("SQLite format 3\0", 16) + garbage << false;
        QTest::newRow("folder is a file") << QByteArray("x") << true;
    }
    void unopenableLeavesProgramWorking()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, folderIsFile);
        const QString file = m_dir->filePath(QStringLiteral("history.sqlite"));
        QFile write(file);
        QVERIFY(write.open(QIODevice::WriteOnly) && write.write(content) == content.size());
        write.close();
        MessageHistory history(folderIsFile ? file + QStringLiteral("/history.sqlite") : file);
        QVERIFY(!history.isOpen());
        QVERIFY(!history.errorString().isEmpty());
        QCOMPARE(history.record(Msg(QStringLiteral("lost")), MessageFate::Shown), 0);
        history.setFate(1, MessageFate::Read);
        history.clear();
        QVERIFY(!history.flush());
        QVERIFY(history.page(QStringLiteral("lost"), 0, 10).isEmpty());
        HistoryWindow window(history);
        window.show();
        QVERIFY(window.findChild<QLabel *>(QStringLiteral("Status"))->isVisible());
        QCOMPARE(window.findChild<QTreeView *>(QStringLiteral("List"))->model()->rowCount(), 0);
        QFile read(file);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), content); // left as it was
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], kChildSwitch) == 0)
        return RecordUntilKilled(argc, argv);
    QApplication app(argc, argv);
    TestHistory test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_history.moc"
