#pragma once

#include "message.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

// One message as the history holds it.
struct HistoryEntry
{
    qint64 id = 0;      // 0: no such message
    QDateTime received; // UTC
    QString name;
    QString address;
    quint16 localPort = 0;
    qint32 replyPort = kNoReplyPort;
    MessageFate fate = MessageFate::Shown;
    SenderTrust trust = SenderTrust::Plain;
    QByteArray senderKey; // empty when it came plain
    // The whole text from entry(); only its first kPreviewCharacters
    // characters from page(). CR LF line breaks, as received.
    QString text;
};

// The history's SQLite file (Qt SQL, QSQLITE): made owner-only with its
// folder, its schema, and the reading connection of the thread that opens it
// (the UI thread), which pages, searches and reads whole entries. The writer
// (HistoryWriter) opens a connection of its own on its thread through
// openWriter() and changes the file with the statements below; only it calls
// them.
class HistoryStore
{
public:
    // Characters of a text that page() returns.
    static constexpr int kPreviewCharacters = 200;
    // The most rows one page() returns.
    static constexpr int kMaxPageRows = 1000;
    // The schema this build writes (PRAGMA user_version).
    static constexpr int kSchemaVersion = 1;

    // Opens the database at path for reading, making it, its schema and its
    // folder (owner-only) if needed. connectionName names the reading
    // connection; the file stays closed when isOpen() is false.
    HistoryStore(const QString &path, const QString &connectionName);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // $XDG_DATA_HOME/Quillbox/history.sqlite.
    static QString defaultPath();

    bool isOpen() const { return m_open; }
    // Why the file could not be opened.
    QString openError() const { return m_openError; }
    // The latest read that failed, empty after one that worked.
    QString readError() const { return m_readError; }
    // The file's absolute path, its highest id and its unread messages at
    // opening.
    QString filePath() const { return m_filePath; }
    qint64 lastIdAtOpen() const { return m_lastId; }
    qint64 unreadAtOpen() const { return m_unread; }

    // See MessageHistory::page() and entry().
    QList<HistoryEntry> page(const QString &search, qint64 beforeId, int limit);
    HistoryEntry entry(qint64 id);

    // The writer's side, on its thread with its own connection.
    //
    // Opens db on the file for writing; indexBehind says whether messages
    // wait for the search index (left by a process that ended first).
    static bool openWriter(QSqlDatabase &db, const QString &filePath, bool &indexBehind, QString &error);
    // Prepares the statements that store a message and change its fate.
    static bool prepareWrites(QSqlQuery &insert, QSqlQuery &update);
    // Binds one message to insert; returns its size for the bounds.
    static qint64 bindInsert(QSqlQuery &insert, qint64 id, qint64 receivedMs, const Message &message,
                             MessageFate fate);
    // Indexes the next chunk for search in a transaction of its own; done
    // when no message is left unindexed.
    static bool indexChunk(QSqlDatabase &db, bool &done, QString &error);
    // Adds the count and size of the messages with ids in (after, through].
    static bool countRange(QSqlDatabase &db, qint64 after, qint64 through, qint64 &count, qint64 &bytes,
                           QString &error);
    // What removeOldest() took away.
    struct Removed
    {
        qint64 count = 0;
        qint64 bytes = 0;
        qint64 unread = 0;
    };
    // Deletes the oldest messages until at least excessCount of them and
    // excessBytes of their size are gone (inside the caller's transaction).
    static bool removeOldest(QSqlDatabase &db, qint64 excessCount, qint64 excessBytes, Removed &removed,
                             QString &error);
    // Another connection holds the file: a wait, not a failure.
    static bool isLocked(const QSqlError &error);
    static bool exec(QSqlQuery &query, const QString &statement, QString &error);

private:
    bool open(const QString &path);

    QString m_connectionName;
    QString m_filePath;
    QString m_openError;
    QString m_readError;
    bool m_open = false;
    qint64 m_lastId = 0;
    qint64 m_unread = 0;
};
