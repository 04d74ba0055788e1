#include "historywindow.h"

#include "historymodel.h"
#include "messagebox.h"
#include "messagetextview.h"
#include "replyservice.h"
#include "wireformat.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

HistoryWindow::HistoryWindow(MessageHistory &history, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_history(history)
{
    setObjectName(QStringLiteral("History"));
    setWindowTitle(tr("History"));

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("Search"));
    m_search->setAccessibleName(tr("Search"));
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);
    m_search->setMaxLength(kMaxSearchLength);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);
    m_status->setVisible(!history.isOpen());
    if (!history.isOpen())
        m_status->setText(tr("The history cannot be opened: ") + history.errorString());

    createList();
    m_text = new MessageTextView(this);
    m_text->setObjectName(QStringLiteral("Text"));
    m_text->setAccessibleName(tr("Message"));

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_list);
    splitter->addWidget(m_text);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setChildrenCollapsible(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_status);
    layout->addWidget(splitter, 1);
    layout->addLayout(createButtons());
    resize(720, 520);
    connectSignals();
    m_search->setFocus();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::createList()
{
    // The first page is read here, and only it.
    m_model = new HistoryModel(m_history, this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("List"));
    m_list->setAccessibleName(tr("Messages"));
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setModel(m_model);
    // Fixed widths: measuring the contents would read every row.
    m_list->header()->setStretchLastSection(true);
    const QString sampleTime =
        QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 58, 58)), QLocale::ShortFormat);
    m_list->header()->resizeSection(HistoryModel::TimeColumn,
                                    m_list->fontMetrics().horizontalAdvance(sampleTime) + 24);
    m_list->header()->resizeSection(HistoryModel::SenderColumn, 240);
}

QHBoxLayout *HistoryWindow::createButtons()
{
    m_reply = new QPushButton(tr("Reply"), this);
    m_reply->setObjectName(QStringLiteral("Reply"));
    m_copy = new QPushButton(tr("Copy"), this);
    m_copy->setObjectName(QStringLiteral("Copy"));
    m_reply->setEnabled(false);
    m_copy->setEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_reply);
    buttons->addWidget(m_copy);
    return buttons;
}

void HistoryWindow::connectSignals()
{
    m_searchDelay.setSingleShot(true);
    m_searchDelay.setInterval(kSearchDelayMs);
    connect(&m_searchDelay, &QTimer::timeout, this, &HistoryWindow::runSearch);
    connect(m_search, &QLineEdit::textChanged, this, [this] { m_searchDelay.start(); });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryWindow::selectionChanged);
    // A new first page (a search, or a history cleared meanwhile) keeps the
    // selected message when it is still there.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        const int row = m_model->rowOf(m_selected.id);
        if (row >= 0)
            m_list->setCurrentIndex(m_model->index(row, 0));
        else
            showSelected(0);
    });
    connect(&m_history, &MessageHistory::changed, m_model, &HistoryModel::refresh);
    connect(m_reply, &QPushButton::clicked, this, &HistoryWindow::onReplyClicked);
    connect(m_copy, &QPushButton::clicked, this, &HistoryWindow::onCopyClicked);
}

void HistoryWindow::runSearch()
{
    m_model->setSearch(m_search->text());
}

void HistoryWindow::selectionChanged()
{
    const HistoryEntry *entry = m_model->entryAt(m_list->currentIndex().row());
    showSelected(entry ? entry->id : 0);
}

void HistoryWindow::showSelected(qint64 id)
{
    if (id == m_selected.id)
        return;
    m_selected = id > 0 ? m_history.entry(id) : HistoryEntry();
    m_text->setMessage(fromWireLineBreaks(m_selected.text));
    m_reply->setEnabled(m_selected.id != 0 && !m_replyHeld);
    m_copy->setEnabled(m_selected.id != 0);
}

void HistoryWindow::onReplyClicked()
{
    if (m_selected.id == 0)
        return;
    const qint32 port = m_selected.replyPort >= 0 ? m_selected.replyPort : m_selected.localPort;
    emit replyRequested(m_selected.name, m_selected.address, port);
    setReplyEnabled(false);
    if (m_replies)
        m_replies->reply(Message{m_selected.name, m_selected.address, 0, port, {}}, this);
}

void HistoryWindow::setReplyService(ReplyService *replies)
{
    m_replies = replies;
    connect(replies, &ReplyService::finished, this,
            [this](QObject *requester, ReplyOutcome, const QString &notice) {
                if (requester != this)
                    return;
                if (!notice.isEmpty())
                    showNotice(this, kTitleWarning, notice);
                setReplyEnabled(true);
            });
}

void HistoryWindow::onCopyClicked()
{
    if (m_selected.id != 0)
        QGuiApplication::clipboard()->setText(fromWireLineBreaks(m_selected.text));
}

void HistoryWindow::setReplyEnabled(bool enabled)
{
    m_replyHeld = !enabled;
    m_reply->setEnabled(enabled && m_selected.id != 0);
}
