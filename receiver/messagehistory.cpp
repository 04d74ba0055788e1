#include "messagehistory.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QVariant>
#include <QWaitCondition>

#include <algorithm>
#include <deque>
#include <iterator>
#include <limits>

namespace {

constexpr QFileDevice::Permissions kOwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFolder = kOwnerOnlyFile | QFileDevice::ExeOwner;
// How long a connection waits for the other's lock. The reader never
// blocks the writer in WAL mode; this covers checkpoints and recovery.
constexpr int kBusyTimeoutMs = 2000;
// The write-ahead log is checkpointed once it holds about this much, and cut
// back to it after a checkpoint.
constexpr qint64 kWalSizeLimit = qint64(16) * 1024 * 1024;
// The page size of a new history file (SQLite's largest).
constexpr int kPageSize = 65536;
// The writer wakes this often when idle, only to look at its flags again.
constexpr int kIdleWakeMs = 10000;
// The quiet after the latest record before the writer indexes for search,
// and the messages it indexes in one transaction: few, since a record that
// comes meanwhile (its sender waiting) waits for the chunk to end.
constexpr int kIndexDelayMs = 500;
constexpr int kIndexChunk = 200;
// Messages of a file's existing ones whose count and size the writer adds up
// in one step, between commits, after opening (only the bounds need them).
constexpr int kCountChunk = 1000;
// A file another process keeps locked beyond the busy time-out: the first
// pause before trying again, doubled each time up to the last.
constexpr int kFirstLockPauseMs = 50;
constexpr int kLastLockPauseMs = 1000;
// Words of a search that are looked for; more are ignored.
constexpr int kMaxSearchWords = 16;

// Schema version 1.
//
// The rowid (id INTEGER PRIMARY KEY) is the index that pages newest first:
// ids are handed out in arrival order, so "id < ? ORDER BY id DESC LIMIT ?"
// walks the table's own b-tree backwards and stops after one page; a second
// index on the same order would only cost space and writes. The text is the
// last column, so reading the size or the fate never touches its overflow
// pages. The partial index keeps counting the unread ones proportional to
// their number.
//
// The search index is an external-content FTS5 table over name and text:
// the texts are stored once, in messages. Indexing a message costs several
// times what storing it does, so the writer indexes in the background: the
// messages above search_progress.indexed_to are added once no record has
// come for kIndexDelayMs (or a flush() asks), in chunks of their own
// transactions, so a burst of messages is stored at the pace of plain
// inserts and found by a search half a second later. A trigger takes indexed
// messages out of the index as they are deleted, in the same transaction.
// Only the first 4,096 characters of a text are indexed (the delete passes
// the same cut). Prefix indexes of two and three characters make the short
// prefixes of search-as-you-type cheap.
const char *const kSchema[] = {
    "CREATE TABLE messages("
    " id INTEGER PRIMARY KEY,"
    " received INTEGER NOT NULL," // UTC, milliseconds since 1970
    " name TEXT NOT NULL,"
    " address TEXT NOT NULL,"
    " local_port INTEGER NOT NULL,"
    " reply_port INTEGER NOT NULL,"
    " fate INTEGER NOT NULL,"
    " size INTEGER NOT NULL," // name, address and text in UTF-8 bytes
    " text TEXT NOT NULL)",
    "CREATE INDEX messages_unread ON messages(fate) WHERE fate <> 1",
    "CREATE VIRTUAL TABLE messages_fts USING fts5(name, text, content='messages', content_rowid='id',"
    " tokenize='unicode61 remove_diacritics 2', prefix='2 3')",
    "CREATE TABLE search_progress(indexed_to INTEGER NOT NULL)",
    "INSERT INTO search_progress VALUES (0)",
    "CREATE TRIGGER messages_fts_delete AFTER DELETE ON messages"
    " WHEN old.id <= (SELECT indexed_to FROM search_progress) BEGIN"
    " INSERT INTO messages_fts(messages_fts, rowid, name, text)"
    " VALUES ('delete', old.id, old.name, substr(old.text, 1, 4096)); END",
};

static_assert(int(MessageFate::Read) == 1, "the unread index and count take Read as 1");

const QString kEntryColumns = QStringLiteral("id, received, name, address, local_port, reply_port, fate, ");

qint64 utf8Size(QStringView text)
{
    qint64 size = 0;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        size += code < 0x80 ? 1 : code < 0x800 || c.isSurrogate() ? 2 : 3;
    }
    return size;
}

// Qt binds a null string as NULL; the columns hold text.
QString notNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// Another connection holds the file (SQLITE_BUSY, SQLITE_LOCKED and their
// extended codes): a wait, not a failure.
bool isLocked(const QSqlError &error)
{
    constexpr int kBusy = 5;
    constexpr int kLocked = 6;
    constexpr int kPrimary = 0xff;
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & kPrimary;
    return numeric && (code == kBusy || code == kLocked);
}

bool exec(QSqlQuery &query, const QString &statement, QString &error)
{
    if (query.exec(statement))
        return true;
    error = query.lastError().text();
    return false;
}

// The one value a pragma or count returns.
QVariant scalar(const QSqlDatabase &db, const QString &statement, QString &error)
{
    QSqlQuery query(db);
    if (!exec(query, statement, error))
        return {};
    if (!query.next()) {
        error = query.lastError().text();
        return {};
    }
    return query.value(0).isNull() ? QVariant(qint64(0)) : query.value(0);
}

// Owner-only, when the item exists and allows more.
bool tighten(const QString &path, QFileDevice::Permissions mode)
{
    if (!QFileInfo::exists(path))
        return true;
    // The "user" bits Qt also reports mirror the owner's for the owner.
    const QFileDevice::Permissions others =
        ~(mode | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    if (!(QFile::permissions(path) & others))
        return true;
    return QFile::setPermissions(path, mode);
}

// What the user typed, as an FTS5 query that matches every word as the start
// of a word. Each word becomes a quoted string (its quotes doubled) with the
// prefix star after it, so nothing typed is query syntax: quotes, stars,
// minus signs, parentheses, colons and the words AND, OR, NOT and NEAR are
// all just text. Inside the quotes the tokenizer splits a word the way it
// split the texts ("a-b" is the phrase "a b"). Words without a letter or a
// digit hold no token and are left out. Empty when nothing is left: then
// every message matches.
QString matchExpression(const QString &search)
{
    QStringList terms;
    const QStringList words = search.simplified().split(u' ', Qt::SkipEmptyParts);
    for (QString word : words) {
        if (terms.size() == kMaxSearchWords)
            break;
        const bool hasToken = std::any_of(word.cbegin(), word.cend(), [](QChar c) {
            return c.isLetterOrNumber() || c.category() == QChar::Other_PrivateUse;
        });
        if (!hasToken)
            continue;
        word.replace(u'"', QStringLiteral("\"\""));
        terms.append(u'"' + word + QStringLiteral("\"*"));
    }
    return terms.join(u' ');
}

HistoryEntry entryFrom(const QSqlQuery &query)
{
    HistoryEntry entry;
    entry.id = query.value(0).toLongLong();
    entry.received = QDateTime::fromMSecsSinceEpoch(query.value(1).toLongLong(), Qt::UTC);
    entry.name = query.value(2).toString();
    entry.address = query.value(3).toString();
    entry.localPort = quint16(query.value(4).toUInt());
    entry.replyPort = query.value(5).toInt();
    const int fate = query.value(6).toInt();
    entry.fate = fate >= 0 && fate <= int(MessageFate::NotShown) ? MessageFate(fate) : MessageFate::Shown;
    entry.text = query.value(7).toString();
    return entry;
}

} // namespace

// What the callers' threads and the writer share, under the mutex unless
// marked otherwise. The writer thread holds it too, so that a writer that a
// stalled disk keeps beyond the destructor's wait never touches freed memory.
struct MessageHistory::Shared
{
    struct Record
    {
        qint64 id;
        qint64 receivedMs;
        Message message;
        MessageFate fate;
        qsizetype heldBytes;
    };

    QString path;
    QString connectionName;

    QMutex mutex;
    QWaitCondition workQueued;
    QWaitCondition workCommitted;
    // Ordered by id, since ids are handed out as records are queued.
    std::deque<Record> records;
    qsizetype pendingBytes = 0;
    // Fates of messages no longer in records.
    QHash<qint64, MessageFate> fates;
    bool clearRequested = false;
    bool flushRequested = false;
    bool stopRequested = false;
    bool writerFailed = false;
    bool writerEnded = false;
    // Messages are stored that the search index does not hold yet.
    bool indexBehind = false;
    // flush() calls waiting, which want the index caught up at once.
    int flushWaiters = 0;
    QDeadlineTimer indexDue;
    bool enabled = true;
    // When what is queued is to be committed at the latest.
    QDeadlineTimer commitDue;
    // Counts every change queued; the writer reports how far it committed.
    quint64 queuedSerial = 0;
    quint64 committedSerial = 0;
    qint64 nextId = 1;
    qint64 maxMessages = kDefaultMaxMessages;
    qint64 maxBytes = kDefaultMaxBytes;
    qint64 dropped = 0;
    qint64 commits = 0;
    QString writeError;
    // Receives the writer's reports while set.
    MessageHistory *owner = nullptr;
    // Every record up to this id is stored or dropped; the handler hears of
    // each step.
    qint64 settledThrough = 0;
    std::function<void(qint64)> settledHandler;
    // The writer has not added up the messages the file held at opening
    // (and enforced the bounds on them) yet.
    bool totalsPending = false;

    // The writer's own.
    bool openedBehind = false;
    qint64 rowCount = 0;
    qint64 rowBytes = 0;
    // Messages whose fate is not Read (from the owner's count at opening).
    qint64 unread = 0;
    // The messages the file held at opening, ids up to countTo, are added to
    // rowCount and rowBytes a chunk at a time (countedTo so far); until then
    // the bounds are not enforced.
    qint64 countedTo = 0;
    qint64 countTo = 0;
    bool totalsKnown() const { return countedTo >= countTo; }

    bool hasWork() const { return !records.empty() || !fates.isEmpty() || clearRequested; }
    void queued(bool wasIdle, int commitInMs)
    {
        ++queuedSerial;
        if (wasIdle)
            commitDue = QDeadlineTimer(commitInMs);
        workQueued.wakeOne();
    }

    void run();
    bool openWriter(QSqlDatabase &db, QString &error);
    // Under the mutex.
    void settle(qint64 through)
    {
        settledThrough = std::max(settledThrough, through);
        workCommitted.wakeAll();
        if (settledHandler)
            settledHandler(settledThrough);
    }
    bool due() const
    {
        return hasWork() && (stopRequested || flushRequested || clearRequested || commitDue.hasExpired() ||
                             qsizetype(records.size() + fates.size()) >= kBatchSize);
    }
    struct Batch
    {
        std::deque<Record> records;
        QHash<qint64, MessageFate> fates;
        bool clear = false;
        qint64 maxMessages = 0;
        qint64 maxBytes = 0;
    };
    enum class Written
    {
        Yes,
        Locked, // another connection holds the file: try again
        Failed
    };
    Written write(QSqlDatabase &db, QSqlQuery &insert, QSqlQuery &update, const Batch &batch, QString &error);
    // Puts a batch that found the file locked back before what came since.
    void keepForRetry(Batch &batch);
    // Indexes the next chunk; done when no message is left unindexed.
    bool index(QSqlDatabase &db, bool &done, QString &error);
    // Adds up the next chunk of the messages the file held at opening.
    bool countChunk(QSqlDatabase &db, QString &error);
    bool wantsIndexing() const
    {
        return indexBehind && (flushWaiters > 0 || stopRequested || indexDue.hasExpired());
    }
    bool enforceLimits(QSqlDatabase &db, qint64 maxMessages, qint64 maxBytes, QString &error);
};

MessageHistory::MessageHistory(const QString &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
{
    m_connectionName = QStringLiteral("quill-history-%1").arg(quintptr(this), 0, 16);
    m_open = openDatabase();
    if (m_open)
        startWriter();
    else
        QSqlDatabase::removeDatabase(m_connectionName);
}

MessageHistory::~MessageHistory()
{
    if (m_writer) {
        {
            QMutexLocker lock(&m_shared->mutex);
            m_shared->stopRequested = true;
            m_shared->owner = nullptr;
            m_shared->workQueued.wakeOne();
        }
        if (m_writer->wait(QDeadlineTimer(kFlushTimeoutMs)))
            delete m_writer;
        else // A stalled disk: the writer keeps the shared state and ends on its own.
            qWarning("Quillbox: the history writer did not end in time; its last records may be lost");
    }
    if (m_open)
        QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString MessageHistory::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quillbox/history.sqlite");
}

bool MessageHistory::openDatabase()
{
    // The folder and the files are owner-only: the messages are private.
    // SQLite gives the -wal and -shm files the mode of the database file, so
    // that file is made owner-only before SQLite opens it; all three are
    // checked again once open. The folder is the history's own (the program
    // passes a folder of its own), made owner-only whether new or not.
    const QFileInfo file(m_path);
    const QString folder = file.absolutePath();
    if (!QDir().mkpath(folder) || !tighten(folder, kOwnerOnlyFolder)) {
        m_openError = QStringLiteral("The folder %1 cannot be made owner-only.").arg(folder);
        return false;
    }
    // Made owner-only as it is made, so that it is never readable by others.
    QFile create(file.absoluteFilePath());
    const bool created = (create.exists() || create.open(QIODevice::ReadWrite, kOwnerOnlyFile)) &&
                         QFile::setPermissions(file.absoluteFilePath(), kOwnerOnlyFile);
    create.close();
    if (!created) {
        m_openError = QStringLiteral("The file %1 cannot be opened for writing.").arg(m_path);
        return false;
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(file.absoluteFilePath());
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open()) {
        m_openError = db.lastError().text();
        return false;
    }
    QString error;
    QSqlQuery query(db);
    // Large pages for a new file: a 64 KiB text then takes one or two
    // pages, not sixteen, and is written with as many calls (its writer
    // stores half again as many a second). A file made before keeps its own.
    exec(query, QStringLiteral("PRAGMA page_size=%1").arg(kPageSize), error);
    // A file that is no database fails here, at its first read.
    const QVariant mode = scalar(db, QStringLiteral("PRAGMA journal_mode=WAL"), error);
    if (mode.toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0) {
        m_openError = error.isEmpty() ? QStringLiteral("The history cannot use a write-ahead log.") : error;
        return false;
    }
    const QVariant version = scalar(db, QStringLiteral("PRAGMA user_version"), error);
    if (!version.isValid() || !exec(query, QStringLiteral("PRAGMA synchronous=NORMAL"), error)) {
        m_openError = error;
        return false;
    }
    if (version.toInt() == 0) {
        // New: the whole schema or none of it. A file holding tables of
        // something else fails here and is left as it is.
        bool made = db.transaction();
        for (const char *statement : kSchema)
            made = made && exec(query, QString::fromLatin1(statement), error);
        made = made && exec(query, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion), error);
        if (!made || !db.commit()) {
            if (error.isEmpty())
                error = db.lastError().text();
            db.rollback();
            m_openError = error;
            return false;
        }
    } else if (version.toInt() > kSchemaVersion) {
        m_openError = QStringLiteral("The history was written by a later Quillbox.");
        return false;
    }
    // (Versions below kSchemaVersion are migrated here once there are any.)

    const QVariant lastId = scalar(db, QStringLiteral("SELECT max(id) FROM messages"), error);
    const QVariant unread =
        scalar(db, QStringLiteral("SELECT count(*) FROM messages WHERE fate <> 1"), error);
    if (!lastId.isValid() || !unread.isValid() ||
        !exec(query, QStringLiteral("PRAGMA query_only=1"), error)) {
        m_openError = error;
        return false;
    }
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (!tighten(file.absoluteFilePath() + suffix, kOwnerOnlyFile)) {
            m_openError = QStringLiteral("The file %1 cannot be made owner-only.").arg(m_path + suffix);
            return false;
        }
    }
    m_unreadCount = unread.toInt();
    m_shared = std::make_shared<Shared>();
    m_shared->path = file.absoluteFilePath();
    m_shared->connectionName = m_connectionName + QStringLiteral("-writer");
    m_shared->nextId = lastId.toLongLong() + 1;
    m_shared->unread = unread.toLongLong();
    m_shared->countTo = lastId.toLongLong();
    m_shared->totalsPending = m_shared->countTo > 0;
    m_shared->owner = this;
    return true;
}

void MessageHistory::startWriter()
{
    std::shared_ptr<Shared> shared = m_shared;
    m_writer = QThread::create([shared] { shared->run(); });
    m_writer->setObjectName(QStringLiteral("History writer"));
    m_writer->start();
}

QString MessageHistory::errorString() const
{
    if (!m_open)
        return m_openError;
    if (!m_readError.isEmpty())
        return m_readError;
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->writeError;
}

qint64 MessageHistory::record(const Message &message, MessageFate fate)
{
    if (!m_shared)
        return 0;
    Shared &shared = *m_shared;
    Shared::Record record{0, QDateTime::currentMSecsSinceEpoch(), message, fate, message.heldBytes()};
    QMutexLocker lock(&shared.mutex);
    if (!shared.enabled || shared.writerFailed)
        return 0;
    record.id = shared.nextId++;
    shared.pendingBytes += record.heldBytes;
    shared.records.push_back(std::move(record));
    // Beyond the bounds the oldest queued records go: the newest are the
    // ones the user is about to look for, and the history as a whole loses
    // its oldest first too. Nobody waits for the disk.
    while (shared.records.size() > 1 && (qsizetype(shared.records.size()) > kMaxPendingRecords ||
                                         shared.pendingBytes > kMaxPendingBytes)) {
        shared.pendingBytes -= shared.records.front().heldBytes;
        shared.records.pop_front();
        ++shared.dropped;
    }
    // Its sender waits for the commit, which starts at once (or as soon as
    // the one under way ends).
    shared.queued(true, 0);
    return shared.nextId - 1;
}

void MessageHistory::setFate(qint64 id, MessageFate fate)
{
    if (!m_shared || id <= 0)
        return;
    Shared &shared = *m_shared;
    QMutexLocker lock(&shared.mutex);
    if (id >= shared.nextId || shared.writerFailed)
        return;
    const auto queued =
        std::lower_bound(shared.records.begin(), shared.records.end(), id,
                         [](const Shared::Record &record, qint64 value) { return record.id < value; });
    if (queued != shared.records.end() && queued->id == id) {
        queued->fate = fate;
        return;
    }
    if (!shared.fates.contains(id) && shared.fates.size() >= kMaxPendingFates) {
        ++shared.dropped;
        return;
    }
    const bool wasIdle = !shared.hasWork();
    shared.fates.insert(id, fate);
    shared.queued(wasIdle, kCommitIntervalMs);
}

void MessageHistory::setSettledHandler(std::function<void(qint64)> handler)
{
    if (!m_shared)
        return;
    QMutexLocker lock(&m_shared->mutex);
    m_shared->settledHandler = std::move(handler);
}

qint64 MessageHistory::waitSettled(qint64 id, int timeoutMs)
{
    if (!m_shared)
        return id;
    Shared &shared = *m_shared;
    const QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&shared.mutex);
    if (shared.settledThrough < id) {
        shared.flushRequested = true;
        shared.workQueued.wakeOne();
    }
    while (shared.settledThrough < id && !shared.writerEnded) {
        if (!shared.workCommitted.wait(&shared.mutex, deadline))
            break;
    }
    return shared.settledThrough;
}

bool MessageHistory::hasRoomFor(int more) const
{
    if (!m_shared)
        return true;
    QMutexLocker lock(&m_shared->mutex);
    if (!m_shared->enabled || m_shared->writerFailed)
        return true;
    return qsizetype(m_shared->records.size()) + more <= kMaxPendingRecords &&
           m_shared->pendingBytes + more * kMaxMessageHeldBytes <= kMaxPendingBytes;
}

void MessageHistory::setLimits(qint64 maxMessages, qint64 maxBytes)
{
    if (!m_shared)
        return;
    QMutexLocker lock(&m_shared->mutex);
    m_shared->maxMessages = maxMessages;
    m_shared->maxBytes = maxBytes;
}

void MessageHistory::setEnabled(bool enabled)
{
    if (!m_shared)
        return;
    QMutexLocker lock(&m_shared->mutex);
    m_shared->enabled = enabled;
}

bool MessageHistory::isEnabled() const
{
    if (!m_shared)
        return false;
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->enabled;
}

void MessageHistory::clear()
{
    if (!m_shared)
        return;
    Shared &shared = *m_shared;
    QMutexLocker lock(&shared.mutex);
    shared.records.clear();
    shared.pendingBytes = 0;
    shared.fates.clear();
    shared.clearRequested = true;
    shared.queued(true, 0);
}

bool MessageHistory::flush(int timeoutMs)
{
    if (!m_shared)
        return false;
    Shared &shared = *m_shared;
    const QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&shared.mutex);
    const quint64 target = shared.queuedSerial;
    const auto done = [&] {
        return shared.committedSerial >= target && !shared.indexBehind && !shared.totalsPending;
    };
    if (done())
        return true;
    shared.flushRequested = true;
    ++shared.flushWaiters;
    shared.workQueued.wakeOne();
    while (!done()) {
        if (shared.writerEnded || !shared.workCommitted.wait(&shared.mutex, deadline))
            break;
    }
    --shared.flushWaiters;
    return done();
}

qint64 MessageHistory::droppedCount() const
{
    if (!m_shared)
        return 0;
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->dropped;
}

qint64 MessageHistory::commitCount() const
{
    if (!m_shared)
        return 0;
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->commits;
}

QList<HistoryEntry> MessageHistory::page(const QString &search, qint64 beforeId, int limit)
{
    QList<HistoryEntry> entries;
    limit = std::min(limit, kMaxPageRows);
    if (!m_open || limit <= 0)
        return entries;
    const QString match = matchExpression(search);
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    if (match.isEmpty()) {
        query.prepare(
            QStringLiteral("SELECT ") + kEntryColumns +
            QStringLiteral("substr(text, 1, ?) FROM messages WHERE id < ? ORDER BY id DESC LIMIT ?"));
    } else {
        // The search index drives: it walks its matches newest first and
        // stops after one page.
        query.prepare(QStringLiteral("SELECT m.id, m.received, m.name, m.address, m.local_port, "
                                     "m.reply_port, m.fate, substr(m.text, 1, ?) "
                                     "FROM messages_fts JOIN messages AS m ON m.id = messages_fts.rowid "
                                     "WHERE messages_fts MATCH ? AND messages_fts.rowid < ? "
                                     "ORDER BY messages_fts.rowid DESC LIMIT ?"));
    }
    query.addBindValue(kPreviewCharacters);
    if (!match.isEmpty())
        query.addBindValue(match);
    query.addBindValue(beforeId > 0 ? beforeId : std::numeric_limits<qint64>::max());
    query.addBindValue(limit);
    if (!query.exec()) {
        m_readError = query.lastError().text();
        return entries;
    }
    while (query.next())
        entries.append(entryFrom(query));
    m_readError = query.lastError().isValid() ? query.lastError().text() : QString();
    return entries;
}

HistoryEntry MessageHistory::entry(qint64 id)
{
    if (!m_open)
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT ") + kEntryColumns +
                  QStringLiteral("text FROM messages WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec()) {
        m_readError = query.lastError().text();
        return {};
    }
    m_readError.clear();
    return query.next() ? entryFrom(query) : HistoryEntry();
}

void MessageHistory::delivered(int unread, bool anyChange, qint64 droppedTotal)
{
    if (anyChange)
        emit changed();
    if (unread >= 0 && unread != m_unreadCount) {
        m_unreadCount = unread;
        emit unreadCountChanged(unread);
    }
    emit roomMade();
    if (droppedTotal > m_reportedDropped) {
        m_reportedDropped = droppedTotal;
        emit dropped(droppedTotal);
    }
}

// The writer thread.

bool MessageHistory::Shared::openWriter(QSqlDatabase &db, QString &error)
{
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open()) {
        error = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    // Checkpoints by the log's size in bytes, whatever the file's page size.
    const QVariant pageSize = scalar(db, QStringLiteral("PRAGMA page_size"), error);
    if (!pageSize.isValid() || pageSize.toLongLong() <= 0 ||
        !exec(query, QStringLiteral("PRAGMA synchronous=NORMAL"), error) ||
        !exec(query, QStringLiteral("PRAGMA journal_size_limit=%1").arg(kWalSizeLimit), error) ||
        !exec(query,
              QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kWalSizeLimit / pageSize.toLongLong()),
              error))
        return false;
    // Left behind by a process that ended before indexing all it stored.
    // (Counting them, or adding up the whole file here, would read every
    // message of a large history before the first commit.)
    const QVariant behind = scalar(
        db,
        QStringLiteral(
            "SELECT EXISTS (SELECT 1 FROM messages WHERE id > (SELECT indexed_to FROM search_progress))"),
        error);
    if (!behind.isValid())
        return false;
    openedBehind = behind.toLongLong() > 0;
    return true;
}

void MessageHistory::Shared::run()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        QString error;
        const bool opened = openWriter(db, error);
        QSqlQuery insert(db);
        QSqlQuery update(db);
        const bool prepared =
            opened &&
            insert.prepare(
                QStringLiteral("INSERT INTO messages (id, received, name, address, local_port, "
                               "reply_port, fate, size, text) VALUES (:id, :received, :name, :address, "
                               ":local_port, :reply_port, :fate, :size, CAST(:text AS TEXT))")) &&
            update.prepare(QStringLiteral("UPDATE messages SET fate = :fate WHERE id = :id"));
        QMutexLocker lock(&mutex);
        indexBehind = prepared && openedBehind;
        indexDue = QDeadlineTimer(0);
        if (!prepared) {
            writerFailed = true;
            writeError = error.isEmpty() ? insert.lastError().text() + update.lastError().text() : error;
            records.clear();
            fates.clear();
            totalsPending = false;
            settle(nextId - 1);
        }
        int lockPauseMs = kFirstLockPauseMs;
        while (prepared) {
            while (!stopRequested && !due() && !wantsIndexing() && totalsKnown()) {
                workQueued.wait(&mutex, hasWork()     ? commitDue
                                        : indexBehind ? indexDue
                                                      : QDeadlineTimer(kIdleWakeMs));
            }
            if (!due()) {
                if (!totalsKnown() && !stopRequested) {
                    Batch bounds;
                    bounds.maxMessages = maxMessages;
                    bounds.maxBytes = maxBytes;
                    lock.unlock();
                    const bool counted = countChunk(db, error);
                    // Known at last: the bounds hold from now on.
                    const bool enforced = counted && (!totalsKnown() || write(db, insert, update, bounds,
                                                                              error) == Written::Yes);
                    lock.relock();
                    if (!enforced) { // then they are enforced from the next commit on
                        writeError = error;
                        countTo = countedTo;
                    }
                    totalsPending = !totalsKnown();
                    workCommitted.wakeAll();
                    continue;
                }
                if (wantsIndexing()) {
                    lock.unlock();
                    bool done = false;
                    const bool indexed = index(db, done, error);
                    lock.relock();
                    // A failure is not tried again before more is stored.
                    indexBehind = indexed && !done;
                    if (!indexed)
                        writeError = error;
                    workCommitted.wakeAll();
                    if (owner && indexed && done) {
                        MessageHistory *to = owner;
                        const qint64 droppedTotal = dropped;
                        QMetaObject::invokeMethod(
                            owner, [to, droppedTotal] { to->delivered(-1, true, droppedTotal); },
                            Qt::QueuedConnection);
                    }
                    continue;
                }
                if (stopRequested)
                    break;
                continue;
            }
            // Everything that waits, whoever waits for it.
            Batch batch;
            batch.records.swap(records);
            batch.fates.swap(fates);
            batch.clear = std::exchange(clearRequested, false);
            batch.maxMessages = maxMessages;
            batch.maxBytes = maxBytes;
            pendingBytes = 0;
            flushRequested = false;
            const quint64 serial = queuedSerial;
            const qint64 through = nextId - 1;
            lock.unlock();

            const Written written = write(db, insert, update, batch, error);

            lock.relock();
            if (written == Written::Locked && !stopRequested) {
                // Another process holds the file for a while: kept, and
                // tried again after a pause. The senders wait meanwhile, and
                // the bounds let no new one in.
                keepForRetry(batch);
                writeError = error;
                const QDeadlineTimer pause(lockPauseMs);
                lockPauseMs = std::min(2 * lockPauseMs, kLastLockPauseMs);
                while (!stopRequested && !pause.hasExpired())
                    workQueued.wait(&mutex, pause);
                continue;
            }
            lockPauseMs = kFirstLockPauseMs;
            committedSerial = serial;
            if (written == Written::Yes) {
                ++commits;
                if (!batch.records.empty()) {
                    indexBehind = true;
                    indexDue = QDeadlineTimer(kIndexDelayMs);
                }
            } else {
                // Not kept to try again: what fails now (a full disk, a
                // damaged file) would most likely fail again, and the queue
                // behind it must move on.
                dropped += qint64(batch.records.size()) + batch.fates.size();
                writeError = error;
            }
            settle(through);
            if (owner) {
                MessageHistory *to = owner;
                const int count = written == Written::Yes ? int(unread) : -1;
                const bool changed = written == Written::Yes;
                const qint64 droppedTotal = dropped;
                QMetaObject::invokeMethod(
                    owner,
                    [to, count, changed, droppedTotal] { to->delivered(count, changed, droppedTotal); },
                    Qt::QueuedConnection);
            }
        }
        writerEnded = true;
        workCommitted.wakeAll();
        lock.unlock();
        insert = QSqlQuery();
        update = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

void MessageHistory::Shared::keepForRetry(Batch &batch)
{
    // A clear() since then removed what the batch held.
    if (clearRequested)
        return;
    for (const Record &record : batch.records)
        pendingBytes += record.heldBytes;
    std::move(records.begin(), records.end(), std::back_inserter(batch.records));
    records.swap(batch.records);
    // Fates set since then are the newer ones.
    for (auto fate = fates.cbegin(); fate != fates.cend(); ++fate)
        batch.fates.insert(fate.key(), fate.value());
    fates.swap(batch.fates);
    clearRequested = batch.clear;
}

bool MessageHistory::Shared::countChunk(QSqlDatabase &db, QString &error)
{
    const qint64 to = std::min(countTo, countedTo + kCountChunk);
    QSqlQuery query(db);
    if (!exec(query,
              QStringLiteral("SELECT count(*), total(size) FROM messages WHERE id > %1 AND id <= %2")
                  .arg(countedTo)
                  .arg(to),
              error) ||
        !query.next())
        return false;
    rowCount += query.value(0).toLongLong();
    rowBytes += qint64(query.value(1).toDouble());
    countedTo = to;
    return true;
}

bool MessageHistory::Shared::index(QSqlDatabase &db, bool &done, QString &error)
{
    QSqlQuery query(db);
    const QVariant from = scalar(db, QStringLiteral("SELECT indexed_to FROM search_progress"), error);
    if (!from.isValid())
        return false;
    const QVariant to = scalar(db,
                               QStringLiteral("SELECT max(id) FROM (SELECT id FROM messages WHERE id > %1 "
                                              "ORDER BY id LIMIT %2)")
                                   .arg(from.toLongLong())
                                   .arg(kIndexChunk),
                               error);
    if (!to.isValid())
        return false;
    if (to.toLongLong() <= from.toLongLong()) {
        done = true;
        return true;
    }
    const bool ok =
        exec(query, QStringLiteral("BEGIN IMMEDIATE"), error) &&
        exec(query,
             QStringLiteral(
                 "INSERT INTO messages_fts(rowid, name, text) SELECT id, name, substr(text, 1, 4096) "
                 "FROM messages WHERE id > %1 AND id <= %2")
                 .arg(from.toLongLong())
                 .arg(to.toLongLong()),
             error) &&
        exec(query, QStringLiteral("UPDATE search_progress SET indexed_to = %1").arg(to.toLongLong()),
             error) &&
        exec(query, QStringLiteral("COMMIT"), error);
    if (!ok) {
        query.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    done = false; // the next round finds out whether more is left
    return true;
}

MessageHistory::Shared::Written MessageHistory::Shared::write(QSqlDatabase &db, QSqlQuery &insert,
                                                              QSqlQuery &update, const Batch &batch,
                                                              QString &error)
{
    const qint64 countBefore = rowCount;
    const qint64 bytesBefore = rowBytes;
    const qint64 unreadBefore = unread;
    const qint64 countedBefore = countedTo;
    QSqlQuery query(db);
    bool ok = exec(query, QStringLiteral("BEGIN IMMEDIATE"), error);
    const bool locked = !ok && isLocked(query.lastError());
    if (ok && batch.clear) {
        ok = exec(query, QStringLiteral("DELETE FROM messages"), error);
        rowCount = 0;
        rowBytes = 0;
        unread = 0;
        countedTo = countTo;
    }
    for (auto record = batch.records.cbegin(); ok && record != batch.records.cend(); ++record) {
        const Message &message = record->message;
        // The text goes to SQLite in UTF-8 and is stored as text: converted
        // here, a 64 KiB text costs a fraction of what SQLite's own
        // conversion from UTF-16 costs.
        QByteArray text = message.text.toUtf8();
        if (text.isNull())
            text = QByteArray("", 0);
        const qint64 size = utf8Size(message.name) + utf8Size(message.address) + text.size();
        // By name: Qt makes up a name for every value bound by position.
        insert.bindValue(QStringLiteral(":id"), record->id);
        insert.bindValue(QStringLiteral(":received"), record->receivedMs);
        insert.bindValue(QStringLiteral(":name"), notNull(message.name));
        insert.bindValue(QStringLiteral(":address"), notNull(message.address));
        insert.bindValue(QStringLiteral(":local_port"), int(message.localPort));
        insert.bindValue(QStringLiteral(":reply_port"), message.replyPort);
        insert.bindValue(QStringLiteral(":fate"), int(record->fate));
        insert.bindValue(QStringLiteral(":size"), size);
        insert.bindValue(QStringLiteral(":text"), text);
        ok = insert.exec();
        if (!ok)
            error = insert.lastError().text();
        ++rowCount;
        rowBytes += size;
        unread += record->fate != MessageFate::Read ? 1 : 0;
    }
    if (ok && !batch.fates.isEmpty()) {
        // The unread count follows each change across Read.
        QSqlQuery before(db);
        before.prepare(QStringLiteral("SELECT fate FROM messages WHERE id = ?"));
        for (auto fate = batch.fates.cbegin(); ok && fate != batch.fates.cend(); ++fate) {
            before.bindValue(0, fate.key());
            ok = before.exec();
            const bool found = ok && before.next();
            const bool wasRead = found && before.value(0).toInt() == int(MessageFate::Read);
            before.finish();
            update.bindValue(QStringLiteral(":fate"), int(fate.value()));
            update.bindValue(QStringLiteral(":id"), fate.key());
            ok = ok && update.exec();
            if (!ok)
                error = before.lastError().isValid() ? before.lastError().text() : update.lastError().text();
            else if (found)
                unread += int(wasRead) - int(fate.value() == MessageFate::Read);
        }
    }
    ok = ok && (!totalsKnown() || enforceLimits(db, batch.maxMessages, batch.maxBytes, error)) &&
         exec(query, QStringLiteral("COMMIT"), error);
    insert.finish();
    update.finish();
    if (ok)
        return Written::Yes;
    query.exec(QStringLiteral("ROLLBACK"));
    rowCount = countBefore;
    rowBytes = bytesBefore;
    unread = unreadBefore;
    countedTo = countedBefore;
    return locked ? Written::Locked : Written::Failed;
}

bool MessageHistory::Shared::enforceLimits(QSqlDatabase &db, qint64 maxMessagesKept, qint64 maxBytesKept,
                                           QString &error)
{
    const qint64 excessCount = maxMessagesKept > 0 ? rowCount - maxMessagesKept : 0;
    const qint64 excessBytes = maxBytesKept > 0 ? rowBytes - maxBytesKept : 0;
    if (excessCount <= 0 && excessBytes <= 0)
        return true;
    // The oldest rows, until both bounds hold; one delete for all of them.
    QSqlQuery oldest(db);
    oldest.setForwardOnly(true);
    if (!exec(oldest, QStringLiteral("SELECT id, size, fate FROM messages ORDER BY id"), error))
        return false;
    qint64 cut = 0;
    qint64 count = 0;
    qint64 bytes = 0;
    qint64 unreadCut = 0;
    while ((count < excessCount || bytes < excessBytes) && oldest.next()) {
        cut = oldest.value(0).toLongLong();
        bytes += oldest.value(1).toLongLong();
        unreadCut += oldest.value(2).toInt() != int(MessageFate::Read) ? 1 : 0;
        ++count;
    }
    oldest.finish();
    QSqlQuery remove(db);
    remove.prepare(QStringLiteral("DELETE FROM messages WHERE id <= ?"));
    remove.addBindValue(cut);
    if (!remove.exec()) {
        error = remove.lastError().text();
        return false;
    }
    rowCount -= count;
    rowBytes -= bytes;
    unread -= unreadCut;
    return true;
}
