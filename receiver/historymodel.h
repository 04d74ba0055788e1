#pragma once

#include "messagehistory.h"

#include <QAbstractTableModel>
#include <QList>

// The history's messages newest first, as rows of a view: fetched a page at
// a time as the view scrolls (canFetchMore / fetchMore), so that a history
// of any length shows at once. A search keeps only the matching messages.
class HistoryModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        TimeColumn,
        SenderColumn,
        TextColumn,
        TrustColumn, // how far the sender is known: encrypted, verified
        ColumnCount
    };
    // The message's id, under Qt::UserRole.
    static constexpr int IdRole = Qt::UserRole;
    // Rows fetched at a time.
    static constexpr int kPageSize = 100;
    // Characters of a text a row shows.
    static constexpr int kShownCharacters = 120;

    explicit HistoryModel(MessageHistory &history, QObject *parent = nullptr);

    // Starts over with the first page of the messages matching search.
    void setSearch(const QString &search);
    QString search() const { return m_search; }
    // Puts messages that landed since on top; starts over when more than a
    // page landed or the ones on top are gone (cleared, or bounds).
    void refresh();
    // The row's message, its text only the start; null when out of range.
    const HistoryEntry *entryAt(int row) const;
    // The row of a message, or -1.
    int rowOf(qint64 id) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    MessageHistory &m_history;
    QString m_search;
    QList<HistoryEntry> m_entries;
    bool m_atEnd = false;
};

// The start of a text as one line of a list: line breaks and tabs become
// spaces, other controls visible symbols, right-to-left text isolated.
QString historyTextLine(const QString &text, int characters);
