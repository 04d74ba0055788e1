#include "programinfo.h"
#include "receiversettings.h"
#include "receiverwindow.h"
#include "sessionend.h"
#include "settingsstore.h"
#include "singleinstance.h"
#include "translation.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerReceiverInfo(argc, argv))
        return *status;
    QApplication app(argc, argv);
    installTranslations(app);
    QApplication::setApplicationName(kReceiverStoreName);
    QApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
    // Every window shows the program's icon, and the desktop matches the
    // windows to the program's menu entry.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quillbox.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillbox"));
    // The program lives on in the notification area with no window shown; it
    // ends when the main window has closed and the last message window too.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstanceLock lock(QStringLiteral("quillbox"));
    if (!lock.tryLock())
        return 0;

    SettingsStore store(kReceiverStoreName);
    ReceiverSettings settings;
    ReceiverWindow form(store, settings);
    QObject::connect(&form, &ReceiverWindow::programEnded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // Ended from outside (the session closing): the settings are kept as on
    // closing the window.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form, &ReceiverWindow::unload);
    // Logging out or a termination signal keeps the ports, options and
    // positions; a signal during the start is handled once it is done.
    SessionEnd sessionEnd([&form] { form.saveSettings(); });
    form.start(QApplication::arguments().mid(1).join(u' '));
    return QApplication::exec();
}
