#include "messagebox.h"

#include <QCoreApplication>
#include <QDir>
#include <QList>
#include <QMessageBox>
#include <QPointer>

namespace {

MessageHandler &installedHandler()
{
    static MessageHandler handler;
    return handler;
}

// The notices open now, so that a further one of the same kind joins them.
QList<QPointer<QMessageBox>> &openNotices()
{
    static QList<QPointer<QMessageBox>> notices;
    return notices;
}

// The title in the user's language: the kTitle… titles are looked up here,
// any other title comes translated already and stays as it is.
QString shownTitle(const QString &title)
{
    return QCoreApplication::translate("MessageBox", title.toUtf8().constData());
}

QMessageBox *makeBox(QWidget *owner, const QString &title, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, shownTitle(title), text, QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    return box;
}

} // namespace

void setMessageHandler(MessageHandler handler)
{
    installedHandler() = std::move(handler);
}

bool askYesNo(QWidget *owner, const QString &title, const QString &text)
{
    if (installedHandler()) {
        installedHandler()(owner, title, text);
        return true;
    }
    QMessageBox box(QMessageBox::Question, shownTitle(title), text, QMessageBox::Yes | QMessageBox::No,
                    owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void reportSaveFailure(QWidget *owner, const QString &fileName)
{
    showNotice(owner, kTitleError,
               QCoreApplication::translate(
                   "MessageBox", "The settings could not be saved to %1.\nCheck that the disk has room "
                                 "and that the folder may be written to.")
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
    QPointer<QMessageBox> box = makeBox(owner, title, text);
    box->exec();
    delete box.data();
}

void showNotice(QWidget *owner, const QString &title, const QString &text, NoticeText mode,
                std::function<void()> closed)
{
    if (installedHandler()) {
        installedHandler()(owner, title, text);
        if (closed)
            closed();
        return;
    }
    // A notice raised over another notice belongs to what that one is over.
    while (qobject_cast<QMessageBox *>(owner))
        owner = owner->parentWidget();
    QList<QPointer<QMessageBox>> &notices = openNotices();
    notices.removeAll(nullptr);
    for (const QPointer<QMessageBox> &open : std::as_const(notices)) {
        if (open->parentWidget() != owner || open->windowTitle() != shownTitle(title))
            continue;
        if (mode == NoticeText::Replace)
            open->setText(text);
        else if (open->text() != text)
            continue;
        if (closed)
            QObject::connect(open, &QMessageBox::finished, open, [closed] { closed(); });
        open->raise();
        open->activateWindow();
        return;
    }
    QMessageBox *box = makeBox(owner, title, text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (closed)
        QObject::connect(box, &QMessageBox::finished, box, [closed] { closed(); });
    notices.append(box);
    box->open();
}
