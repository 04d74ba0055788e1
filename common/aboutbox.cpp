#include "aboutbox.h"

#include "settingsstore.h"
#include "windowposition.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kPrefix = QStringLiteral("About ");
}

AboutBox::AboutBox(const QString &productName, SettingsStore &store, QWidget *owner)
    : QDialog(owner)
    , m_store(store)
{
    setWindowTitle(QStringLiteral("Credits"));
    auto *layout = new QVBoxLayout(this);
    auto *name = new QLabel(productName, this);
    name->setObjectName(QStringLiteral("lbl"));
    name->setTextFormat(Qt::PlainText);
    layout->addWidget(name);
    auto *version = new QLabel(QStringLiteral("Version " QUILL_VERSION_SHORT), this);
    version->setObjectName(QStringLiteral("lblVersion"));
    layout->addWidget(version);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok);
    adjustSize();
    PlaceWindow(this, m_store, kPrefix);
}

AboutBox::~AboutBox()
{
    StoreWindowPosition(this, m_store, kPrefix);
    m_store.flush();
}

void ShowAboutBox(QWidget *owner, const QString &productName, SettingsStore &store)
{
    AboutBox box(productName, store, owner);
    box.exec();
}
