#include "messagebox.h"

#include <QDir>
#include <QMessageBox>
#include <QPointer>

namespace {

MessageHandler &installedHandler()
{
    static MessageHandler handler;
    return handler;
}

} // namespace

void setMessageHandler(MessageHandler handler)
{
    installedHandler() = std::move(handler);
}

void reportSaveFailure(QWidget *owner, const QString &fileName)
{
    showMessage(
        owner, kTitleError,
        QStringLiteral("The settings could not be saved to %1.\nCheck that the disk has room and that "
                       "the folder may be written to.")
            .arg(QDir::toNativeSeparators(fileName)));
}

void showMessage(QWidget *owner, const QString &title, const QString &text)
{
    if (installedHandler()) {
        installedHandler()(owner, title, text);
        return;
    }
    // The owner may be deleted while the box waits (a message window closed
    // from the notification area); the box then goes with it and must not
    // be deleted a second time here.
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    box->exec();
    delete box.data();
}
