#pragma once

#include <QString>
#include <functional>

class QWidget;

// Every notice of both programs goes through here: a modal box with the
// exclamation icon, one OK button, and plain text (names and texts may come
// from the network and are never read as markup).

// Titles the programs use.
inline const QString kTitleError = QStringLiteral("Error");
inline const QString kTitleWarning = QStringLiteral("Warning");
inline const QString kTitleMessageWaiting = QStringLiteral("Message Waiting");
inline const QString kTitleReply = QStringLiteral("Reply");
inline const QString kTitleMessageSend = QStringLiteral("Message Send!!");

void showMessage(QWidget *owner, const QString &title, const QString &text);

// Tells the user that the settings file could not be written (a full disk,
// a folder that cannot be written to); what was not written stays pending.
void reportSaveFailure(QWidget *owner, const QString &fileName);

// Tests answer the boxes instead of a modal loop: while a handler is set,
// showMessage calls it and opens nothing. Pass an empty function to restore.
using MessageHandler = std::function<void(QWidget *owner, const QString &title, const QString &text)>;
void setMessageHandler(MessageHandler handler);
