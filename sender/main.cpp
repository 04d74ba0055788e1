#include "sendersettings.h"
#include "sendwindow.h"
#include "settingsstore.h"
#include "singleinstance.h"
#include "windowactivation.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(kSenderStoreName);
    QApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
    // Every window shows the program's icon, and the desktop matches the
    // windows to the program's menu entry.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quillpost.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillpost"));

    // A second copy hands the foreground to the first and ends before it
    // reads or writes a single setting.
    SingleInstanceLock lock(QStringLiteral("quillpost"));
    if (!lock.tryLock()) {
        bringToFront(findWindowByCaption(kSendFormCaption));
        return 0;
    }

    SettingsStore store(kSenderStoreName);
    SenderSettings settings;
    SendWindow form(store, settings);
    form.show();
    return QApplication::exec();
}
