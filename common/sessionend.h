#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Keeps the settings when the program is ended from outside. When the desktop
// asks for the program's data before the session ends
// (QGuiApplication::commitDataRequest), save runs at once; the session may
// still be cancelled, so the program goes on. SIGTERM, SIGHUP and SIGINT are
// only noted by their handler (one byte into a socket pair); from the event
// loop, save runs and the program quits in order, so the windows and dialogs
// close as on "Exit". A signal ignored when the object is made (as under
// nohup) stays ignored.
//
// One object per process catches the signals; its destructor puts back the
// handlers that were there before.
class SessionEnd : public QObject
{
    Q_OBJECT
public:
    explicit SessionEnd(std::function<void()> save, QObject *parent = nullptr);
    ~SessionEnd() override;

    // False where the platform has no such signals, or another object has them.
    bool catchesSignals() const { return m_readEnd >= 0; }

signals:
    // A termination signal arrived; save has run and the program quits.
    void ending();

private:
    void startCatching();
    void stopCatching();
    void onSignalNoted();

    std::function<void()> m_save;
    QSocketNotifier *m_notifier = nullptr;
    int m_readEnd = -1;
    int m_writeEnd = -1;
    bool m_ending = false;
};
