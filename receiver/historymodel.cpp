#include "historymodel.h"

#include "senderline.h"

#include <QLocale>

namespace {

// A name longer than any screen is shown by its ends, as the message
// window's line does.
constexpr qsizetype kShownNameEnds = 500;

QString shownName(const QString &name)
{
    if (name.size() <= 2 * kShownNameEnds)
        return shownSenderName(name);
    return shownSenderName(name.left(kShownNameEnds) + QChar(0x2026) + name.right(kShownNameEnds));
}

} // namespace

QString historyTextLine(const QString &text, int characters)
{
    QString line = text.left(characters);
    for (QChar &c : line) {
        if (c == u'\r' || c == u'\n' || c == u'\t')
            c = u' ';
    }
    line = line.simplified();
    if (line.isEmpty())
        return line;
    if (text.size() > characters)
        line += QChar(0x2026);
    return shownSenderName(line);
}

HistoryModel::HistoryModel(MessageHistory &history, QObject *parent)
    : QAbstractTableModel(parent)
    , m_history(history)
{
    m_entries = m_history.page(m_search, 0, kPageSize);
    m_atEnd = m_entries.size() < kPageSize;
}

void HistoryModel::setSearch(const QString &search)
{
    beginResetModel();
    m_search = search;
    m_entries = m_history.page(m_search, 0, kPageSize);
    m_atEnd = m_entries.size() < kPageSize;
    endResetModel();
}

void HistoryModel::refresh()
{
    QList<HistoryEntry> newest = m_history.page(m_search, 0, kPageSize);
    const qint64 top = m_entries.isEmpty() ? 0 : m_entries.first().id;
    qsizetype landed = 0;
    while (landed < newest.size() && newest[landed].id != top)
        ++landed;
    if (top == 0 || landed == newest.size()) {
        beginResetModel();
        m_entries = std::move(newest);
        m_atEnd = m_entries.size() < kPageSize;
        endResetModel();
        return;
    }
    if (landed == 0)
        return;
    beginInsertRows(QModelIndex(), 0, int(landed) - 1);
    newest.resize(landed);
    m_entries = newest + m_entries;
    endInsertRows();
}

const HistoryEntry *HistoryModel::entryAt(int row) const
{
    return row >= 0 && row < m_entries.size() ? &m_entries[row] : nullptr;
}

int HistoryModel::rowOf(qint64 id) const
{
    for (qsizetype row = 0; row < m_entries.size(); ++row) {
        if (m_entries[row].id == id)
            return int(row);
    }
    return -1;
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    const HistoryEntry *entry = entryAt(index.row());
    if (!entry || index.parent().isValid())
        return {};
    if (role == IdRole)
        return entry->id;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case TimeColumn:
        return QLocale().toString(entry->received.toLocalTime(), QLocale::ShortFormat);
    case SenderColumn:
        return senderLineText(shownName(entry->name), entry->address, entry->localPort);
    case TextColumn:
        return historyTextLine(entry->text, kShownCharacters);
    case TrustColumn:
        return senderTrustText(entry->trust, entry->senderKey);
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TimeColumn:
        return tr("Received");
    case SenderColumn:
        return tr("From");
    case TextColumn:
        return tr("Message");
    case TrustColumn:
        return tr("Security");
    default:
        return {};
    }
}

bool HistoryModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_atEnd;
}

void HistoryModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || m_atEnd)
        return;
    const qint64 before = m_entries.isEmpty() ? 0 : m_entries.last().id;
    const QList<HistoryEntry> more = m_history.page(m_search, before, kPageSize);
    m_atEnd = more.size() < kPageSize;
    if (more.isEmpty())
        return;
    beginInsertRows(QModelIndex(), int(m_entries.size()), int(m_entries.size() + more.size()) - 1);
    m_entries += more;
    endInsertRows();
}
