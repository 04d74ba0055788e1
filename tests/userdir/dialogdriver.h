#pragma once

// Helpers for the user-directory tests: answering the message boxes and
// acting inside modal dialogs, which otherwise block the test in exec().

#include "messagebox.h"
#include "sendersettings.h"
#include "settingsstore.h"

#include <QApplication>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

struct ShownMessage
{
    QString title;
    QString text;
};

// Records every message box instead of opening it, for the life of the object.
class MessageRecorder
{
public:
    MessageRecorder()
    {
        setMessageHandler([this](QWidget *, const QString &title, const QString &text) {
            messages.append({title, text});
        });
    }
    ~MessageRecorder() { setMessageHandler({}); }
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    QList<ShownMessage> messages;
};

// Runs action on the next modal dialog of type Dialog once it is showing,
// from inside its own event loop. Gives up after about two seconds and then
// closes whatever modal window is open, so a fault fails the test instead
// of hanging it; gaveUp() reports that.
class ModalDriver
{
public:
    template <typename Dialog> static void WhenOpens(std::function<void(Dialog *)> action)
    {
        auto *timer = new QTimer(qApp);
        timer->setInterval(kPollMs);
        auto tries = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, action] {
            auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            if (dialog && dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                action(dialog);
                return;
            }
            if (++*tries > kMaxTries) {
                timer->stop();
                timer->deleteLater();
                GaveUp() = true;
                if (QWidget *open = QApplication::activeModalWidget())
                    open->close();
            }
        });
        timer->start();
    }

    static bool &GaveUp()
    {
        static bool gaveUp = false;
        return gaveUp;
    }

private:
    static constexpr int kPollMs = 5;
    static constexpr int kMaxTries = 400;
};

// A value as the store's file on disk holds it. Read from a copy: another
// view of the same file in this process would share, and write, what the
// store still has pending.
inline QString OnDisk(const SettingsStore &store, const QString &section, const QString &key)
{
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("copy.ini"));
    if (!QFile::copy(store.fileName(), copy))
        return QString();
    return SettingsStore::atPath(copy).get(section, key, QString());
}

// A store in a folder of its own and fresh settings, for one test function.
struct UserDirFixture
{
    UserDirFixture() { ModalDriver::GaveUp() = false; }

    QTemporaryDir folder;
    SettingsStore store = SettingsStore::atPath(folder.filePath(QStringLiteral("Quillpost.ini")));
    SenderSettings settings;
};
