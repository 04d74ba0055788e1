#include "historystore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
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
// The messages the writer indexes for search in one transaction: few, since
// a record that comes meanwhile (its sender waiting) waits for the chunk to
// end.
constexpr int kIndexChunk = 200;
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
    " text TEXT NOT NULL,"
    " trust INTEGER NOT NULL DEFAULT 0," // SenderTrust
    " sender_key BLOB)",                 // the key it was encrypted with, NULL when plain
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

const QString kEntryColumns =
    QStringLiteral("id, received, name, address, local_port, reply_port, fate, trust, sender_key, ");
// Files made before messages carried their sender's key get the columns
// (older programs leave them at their defaults: plain).
const char *const kKeyColumns[] = {
    "ALTER TABLE messages ADD COLUMN trust INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE messages ADD COLUMN sender_key BLOB",
};

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

// The one value a pragma or count returns.
QVariant scalar(const QSqlDatabase &db, const QString &statement, QString &error)
{
    QSqlQuery query(db);
    if (!HistoryStore::exec(query, statement, error))
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
    const int trust = query.value(7).toInt();
    entry.trust = trust >= 0 && trust <= int(SenderTrust::Impostor) ? SenderTrust(trust) : SenderTrust::Plain;
    entry.senderKey = query.value(8).toByteArray();
    entry.text = query.value(9).toString();
    return entry;
}

} // namespace

HistoryStore::HistoryStore(const QString &path, const QString &connectionName)
    : m_connectionName(connectionName)
{
    m_open = open(path);
    if (!m_open)
        QSqlDatabase::removeDatabase(m_connectionName);
}

HistoryStore::~HistoryStore()
{
    if (m_open)
        QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString HistoryStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quillbox/history.sqlite");
}

bool HistoryStore::open(const QString &path)
{
    // The folder and the files are owner-only: the messages are private.
    // SQLite gives the -wal and -shm files the mode of the database file, so
    // that file is made owner-only before SQLite opens it; all three are
    // checked again once open. The folder is the history's own (the program
    // passes a folder of its own), made owner-only whether new or not.
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    if (!QDir().mkpath(folder) || !tighten(folder, kOwnerOnlyFolder)) {
        m_openError = QCoreApplication::translate("HistoryStore", "The folder %1 cannot be made owner-only.")
                          .arg(folder);
        return false;
    }
    // Made owner-only as it is made, so that it is never readable by others.
    QFile create(file.absoluteFilePath());
    const bool created = (create.exists() || create.open(QIODevice::ReadWrite, kOwnerOnlyFile)) &&
                         QFile::setPermissions(file.absoluteFilePath(), kOwnerOnlyFile);
    create.close();
    if (!created) {
        m_openError = QCoreApplication::translate("HistoryStore", "The file %1 cannot be opened for writing.")
                          .arg(path);
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
        m_openError =
            error.isEmpty()
                ? QCoreApplication::translate("HistoryStore", "The history cannot use a write-ahead log.")
                : error;
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
        m_openError =
            QCoreApplication::translate("HistoryStore", "The history was written by a later Quillbox.");
        return false;
    }
    // (Versions below kSchemaVersion are migrated here once there are any.)
    const QVariant keyColumns = scalar(
        db, QStringLiteral("SELECT count(*) FROM pragma_table_info('messages') WHERE name = 'trust'"), error);
    if (keyColumns.isValid() && keyColumns.toInt() == 0) {
        for (const char *statement : kKeyColumns) {
            if (!exec(query, QString::fromLatin1(statement), error)) {
                m_openError = error;
                return false;
            }
        }
    }

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
            m_openError =
                QCoreApplication::translate("HistoryStore", "The file %1 cannot be made owner-only.")
                    .arg(path + suffix);
            return false;
        }
    }
    m_filePath = file.absoluteFilePath();
    m_lastId = lastId.toLongLong();
    m_unread = unread.toLongLong();
    return true;
}

// Another connection holds the file (SQLITE_BUSY, SQLITE_LOCKED and their
// extended codes): a wait, not a failure.
bool HistoryStore::isLocked(const QSqlError &error)
{
    constexpr int kBusy = 5;
    constexpr int kLocked = 6;
    constexpr int kPrimary = 0xff;
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & kPrimary;
    return numeric && (code == kBusy || code == kLocked);
}

bool HistoryStore::exec(QSqlQuery &query, const QString &statement, QString &error)
{
    if (query.exec(statement))
        return true;
    error = query.lastError().text();
    return false;
}

QList<HistoryEntry> HistoryStore::page(const QString &search, qint64 beforeId, int limit)
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
                                     "m.reply_port, m.fate, m.trust, m.sender_key, substr(m.text, 1, ?) "
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

HistoryEntry HistoryStore::entry(qint64 id)
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

bool HistoryStore::openWriter(QSqlDatabase &db, const QString &filePath, bool &indexBehind, QString &error)
{
    db.setDatabaseName(filePath);
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
    indexBehind = behind.toLongLong() > 0;
    return true;
}

bool HistoryStore::indexChunk(QSqlDatabase &db, bool &done, QString &error)
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

bool HistoryStore::removeOldest(QSqlDatabase &db, qint64 excessCount, qint64 excessBytes, Removed &removed,
                                QString &error)
{
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
    removed = {count, bytes, unreadCut};
    return true;
}

bool HistoryStore::prepareWrites(QSqlQuery &insert, QSqlQuery &update)
{
    return insert.prepare(QStringLiteral(
               "INSERT INTO messages (id, received, name, address, local_port, "
               "reply_port, fate, size, text, trust, sender_key) VALUES (:id, :received, :name, "
               ":address, :local_port, :reply_port, :fate, :size, CAST(:text AS TEXT), :trust, "
               ":sender_key)")) &&
           update.prepare(QStringLiteral("UPDATE messages SET fate = :fate WHERE id = :id"));
}

qint64 HistoryStore::bindInsert(QSqlQuery &insert, qint64 id, qint64 receivedMs, const Message &message,
                                MessageFate fate)
{
    // The text goes to SQLite in UTF-8 and is stored as text: converted
    // here, a 64 KiB text costs a fraction of what SQLite's own
    // conversion from UTF-16 costs.
    QByteArray text = message.text.toUtf8();
    if (text.isNull())
        text = QByteArray("", 0);
    const qint64 size = utf8Size(message.name) + utf8Size(message.address) + text.size();
    // By name: Qt makes up a name for every value bound by position.
    insert.bindValue(QStringLiteral(":id"), id);
    insert.bindValue(QStringLiteral(":received"), receivedMs);
    insert.bindValue(QStringLiteral(":name"), notNull(message.name));
    insert.bindValue(QStringLiteral(":address"), notNull(message.address));
    insert.bindValue(QStringLiteral(":local_port"), int(message.localPort));
    insert.bindValue(QStringLiteral(":reply_port"), message.replyPort);
    insert.bindValue(QStringLiteral(":fate"), int(fate));
    insert.bindValue(QStringLiteral(":size"), size);
    insert.bindValue(QStringLiteral(":text"), text);
    insert.bindValue(QStringLiteral(":trust"), int(message.trust));
    insert.bindValue(QStringLiteral(":sender_key"), message.senderKey.isEmpty()
                                                        ? QVariant(QMetaType(QMetaType::QByteArray))
                                                        : message.senderKey);
    return size;
}

bool HistoryStore::countRange(QSqlDatabase &db, qint64 after, qint64 through, qint64 &count, qint64 &bytes,
                              QString &error)
{
    QSqlQuery query(db);
    if (!exec(query,
              QStringLiteral("SELECT count(*), total(size) FROM messages WHERE id > %1 AND id <= %2")
                  .arg(after)
                  .arg(through),
              error) ||
        !query.next())
        return false;
    count += query.value(0).toLongLong();
    bytes += qint64(query.value(1).toDouble());
    return true;
}
