#pragma once

#include <QString>
#include <functional>

class QWidget;

// Every notice of both programs goes through here: a box with the
// exclamation icon, one OK button, and plain text (names and texts may come
// from the network and are never read as markup).

// Titles the programs use, in English; a box shows them in the user's
// language.
inline const QString kTitleError = QStringLiteral(QT_TRANSLATE_NOOP("MessageBox", "Error"));
inline const QString kTitleWarning = QStringLiteral(QT_TRANSLATE_NOOP("MessageBox", "Warning"));
inline const QString kTitleMessageWaiting =
    QStringLiteral(QT_TRANSLATE_NOOP("MessageBox", "Message Waiting"));
inline const QString kTitleReply = QStringLiteral(QT_TRANSLATE_NOOP("MessageBox", "Reply"));
inline const QString kTitleMessageSend = QStringLiteral(QT_TRANSLATE_NOOP("MessageBox", "Message Send!!"));

// A modal box, for what the user's own click or key brought about: returns
// when the user has closed it.
void showMessage(QWidget *owner, const QString &title, const QString &text);

// A modal question with Yes and No for the user's own click: true for Yes.
// Under a test's handler the handler sees it and the answer is Yes.
bool askYesNo(QWidget *owner, const QString &title, const QString &text);

// A box for what an event from outside brought about (a socket, the local
// endpoint, a timer): opens and returns at once, never running an event loop
// of its own. A box of the same owner and title that is still open is
// brought forward instead of stacking a second one: with replaceText its text
// becomes the new one (a notice that names the latest of several events),
// otherwise a different text opens a box of its own. closed, if given, runs
// once the user has closed the box.
enum class NoticeText
{
    Separate,
    Replace
};
void showNotice(QWidget *owner, const QString &title, const QString &text,
                NoticeText mode = NoticeText::Separate, std::function<void()> closed = {});

// Tells the user that the settings file could not be written (a full disk,
// a folder that cannot be written to); what was not written stays pending.
// A notice: it may come from a start-up or a closing window.
void reportSaveFailure(QWidget *owner, const QString &fileName);

// Tests answer the boxes instead of the user: while a handler is set, both
// kinds of box call it and open nothing (a notice counts as closed at once).
// Pass an empty function to restore.
using MessageHandler = std::function<void(QWidget *owner, const QString &title, const QString &text)>;
void setMessageHandler(MessageHandler handler);
