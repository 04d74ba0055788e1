#include "aboutbox.h"

#include "positionkeeper.h"

#include "openlink.h"
#include "settingsstore.h"
#include "windowposition.h"

#include <QEvent>
#include <QGridLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

const QString kPrefix = QStringLiteral("About ");

const char *const kPurpose = QT_TRANSLATE_NOOP(
    "AboutBox",
    "Quill carries short pop-up messages from person to person inside a closed circle of machines: "
    "your office, your lab, your home network. Messages go straight from one computer to the other, "
    "with no outside service in between and nothing stored on the way.");

const char *const kCredits = QT_TRANSLATE_NOOP("AboutBox", "Design and programming: the Quill developers\n"
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
    setWindowTitle(tr("Credits"));

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

    layout->addWidget(FixedText(this, QStringLiteral("commentbox"), tr(kPurpose)), 2, 1);
    layout->addWidget(FixedText(this, QStringLiteral("programmerbox"), tr(kCredits)), 3, 0, 1, 2);
    m_email = addressField(QStringLiteral("email"), QString());
    m_website = addressField(QStringLiteral("website"), QString());
    layout->addWidget(m_email, 4, 0, 1, 2);
    layout->addWidget(m_website, 5, 0, 1, 2);

    auto *ok = new QPushButton(tr("Ok"), this);
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
    // A link: reached with Tab, opened with Enter or Space as with a click.
    field->setFocusPolicy(Qt::StrongFocus);
    field->setCursor(Qt::PointingHandCursor);
    field->setAccessibleName(name == u"email" ? tr("E-mail") : tr("Website"));
    field->setAccessibleDescription(tr("Opens %1").arg(name == u"email" ? kEmail : kWebsite));
    colourLink(field);
    QFont font = field->font();
    font.setUnderline(true);
    field->setFont(font);
    field->installEventFilter(this);
    return field;
}

void AboutBox::colourLink(QLineEdit *field)
{
    // The theme's own link colour, on the window's background: readable on
    // a dark palette as on a light one.
    QPalette colours = palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Window));
    colours.setColor(QPalette::Text, colours.color(QPalette::Link));
    field->setPalette(colours);
}

void AboutBox::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_email && m_website) {
        colourLink(m_email);
        colourLink(m_website);
    }
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
    const auto opens = [event] {
        if (event->type() == QEvent::MouseButtonRelease)
            return static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    };
    if ((watched == m_email || watched == m_website) && opens()) {
        if (watched == m_email)
            onEmailClicked();
        else if (watched == m_website)
            onWebsiteClicked();
        // Enter would also press the default button and close the box.
        return event->type() == QEvent::KeyPress;
    }
    return QDialog::eventFilter(watched, event);
}

void showAboutBox(QWidget *owner, const QString &productName, SettingsStore &store)
{
    AboutBox box(productName, store, owner);
    box.exec();
}
