#include "messagebox.h"

#include <QMessageBox>

namespace {

MessageHandler &Handler()
{
    static MessageHandler handler;
    return handler;
}

} // namespace

void SetMessageHandler(MessageHandler handler)
{
    Handler() = std::move(handler);
}

void ShowMessage(QWidget *owner, const QString &title, const QString &text)
{
    if (Handler()) {
        Handler()(owner, title, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
