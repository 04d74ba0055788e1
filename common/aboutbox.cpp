#include "aboutbox.h"

#include "positionkeeper.h"

#include "openlink.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QEvent>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

const QString kPrefix = QStringLiteral("About ");

const QString kPurpose = QStringLiteral(
    "Quill carries short pop-up messages from person to person inside a closed circle of machines: "
    "your office, your lab, your home network. Messages go straight from one computer to the other, "
    "with no outside service in between and nothing stored on the way.");

const QString kCredits = QStringLiteral("Design and programming: the Quill developers\n"
                                        "Icons: drawn for Quill\n"
                                        "Built with Qt");

// A borderless, read-only text on the window's own background.
QPlainTextEdit *FixedText(QWidget *parent, const QString &name, const QString &text)
{
    auto *box = new QPlainTextEdit(text, parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setFrameShape(QFrame::NoFrame);
    box->setBackgroundRole(QPalette::Window);
    box->viewport()->setAutoFillBackground(false);
    box->setFocusPolicy(Qt::NoFocus);
    box->setMinimumHeight(box->fontMetrics().lineSpacing() * 4);
    return box;
}

} // namespace

const QString AboutBox::kEmail = QStringLiteral("hello@quill.example.org");
const QString AboutBox::kWebsite = QStringLiteral("https://quill.example.org/");

QString versionText()
{
    return QStringLiteral(QUILL_VERSION_SHORT);
}

AboutBox::AboutBox(const QString &productName, SettingsStore &store, QWidget *owner)
    : QDialog(owner)
    , m_position(new PositionKeeper(this, store, kPrefix))
{
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("Credits"));

    auto *layout = new QGridLayout(this);
    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("ImageProg"));
    picture->setPixmap(QIcon(QStringLiteral(":/icons/about.svg")).pixmap(96, 96));
    layout->addWidget(picture, 0, 0, 3, 1, Qt::AlignTop);

    auto *name = new QLabel(this);
    name->setObjectName(QStringLiteral("lbl"));
    name->setTextFormat(Qt::PlainText);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    layout->addWidget(name, 0, 1);

    auto *version = new QLabel(this);
    version->setObjectName(QStringLiteral("appversion"));
    version->setTextFormat(Qt::PlainText);
    layout->addWidget(version, 1, 1);

    layout->addWidget(FixedText(this, QStringLiteral("commentbox"), kPurpose), 2, 1);
    layout->addWidget(FixedText(this, QStringLiteral("programmerbox"), kCredits), 3, 0, 1, 2);
    m_email = addressField(QStringLiteral("email"), QString());
    m_website = addressField(QStringLiteral("website"), QString());
    layout->addWidget(m_email, 4, 0, 1, 2);
    layout->addWidget(m_website, 5, 0, 1, 2);

    auto *ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("ReturnCmd"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &AboutBox::onCancelClicked);
    layout->addWidget(ok, 6, 1, Qt::AlignRight);

    resize(460, 360);
    fill(productName);
}

AboutBox::~AboutBox() = default;

QLineEdit *AboutBox::addressField(const QString &name, const QString &text)
{
    auto *field = new QLineEdit(text, this);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setFrame(false);
    field->setFocusPolicy(Qt::NoFocus);
    field->setCursor(Qt::PointingHandCursor);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    palette.setColor(QPalette::Text, QColor(0, 0, 139));
    field->setPalette(palette);
    QFont font = field->font();
    font.setUnderline(true);
    field->setFont(font);
    field->installEventFilter(this);
    return field;
}

void AboutBox::fill(const QString &productName)
{
    m_email->setText(kEmail);
    m_website->setText(kWebsite);
    findChild<QLabel *>(QStringLiteral("lbl"))->setText(productName);
    findChild<QLabel *>(QStringLiteral("appversion"))->setText(versionText());
    m_position->place();
}

void AboutBox::onCancelClicked()
{
    accept();
}

void AboutBox::onEmailClicked()
{
    openLink(QStringLiteral("mailto:") + kEmail, this);
}

void AboutBox::onWebsiteClicked()
{
    openLink(kWebsite, this);
}

bool AboutBox::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == m_email)
            onEmailClicked();
        else if (watched == m_website)
            onWebsiteClicked();
    }
    return QDialog::eventFilter(watched, event);
}

void showAboutBox(QWidget *owner, const QString &productName, SettingsStore &store)
{
    AboutBox box(productName, store, owner);
    box.exec();
}
