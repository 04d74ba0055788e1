#pragma once

#include "messagehistory.h"

#include <QTimer>
#include <QWidget>

class HistoryModel;
class QHBoxLayout;
class MessageTextView;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class ReplyService;

// "History": the received messages newest first, a search field that
// filters as the user types, the selected message's whole text below, and
// "Reply" and "Copy" for it. Only the first page of messages is read when it
// opens; more follow as the list scrolls. Texts and names are plain text.
class HistoryWindow : public QWidget
{
    Q_OBJECT
public:
    // The pause after the last key before the search runs.
    static constexpr int kSearchDelayMs = 150;
    // The longest search looked for.
    static constexpr int kMaxSearchLength = 256;

    explicit HistoryWindow(MessageHistory &history, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    HistoryModel *model() const { return m_model; }
    // The selected message with its whole text; id 0 when none.
    const HistoryEntry &selected() const { return m_selected; }

    void onReplyClicked();
    void onCopyClicked();
    // "Reply" is held disabled while a handoff runs.
    void setReplyEnabled(bool enabled);
    // "Reply" hands the sender to replies, the one service of the program;
    // the notice of its outcome shows over this window.
    void setReplyService(ReplyService *replies);

signals:
    // "Reply": the sender to answer and the port to answer on, as a message
    // window's "Reply" gives them.
    void replyRequested(const QString &name, const QString &ip, qint32 port);

private:
    void createList();
    QHBoxLayout *createButtons();
    void connectSignals();
    void runSearch();
    void selectionChanged();
    void showSelected(qint64 id);

    MessageHistory &m_history;
    HistoryModel *m_model;
    QLineEdit *m_search;
    QTreeView *m_list;
    MessageTextView *m_text;
    QLabel *m_status;
    QPushButton *m_reply;
    ReplyService *m_replies = nullptr;
    QPushButton *m_copy;
    QTimer m_searchDelay;
    HistoryEntry m_selected;
    bool m_replyHeld = false;
};
