#include "windowposition.h"

#include "conversions.h"
#include "settingsstore.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwipsPerInch = 1440.0;

std::function<ScreenMetrics()> &Provider()
{
    static std::function<ScreenMetrics()> provider;
    return provider;
}

const QString kSettings = QStringLiteral("Settings");

int centred(int screen, int window)
{
    return static_cast<int>(roundHalfEven(screen / 2.0 - window / 2.0));
}

int storedCoordinate(const SettingsStore &store, const QString &key, int fallback)
{
    return integerOf(store.get(kSettings, key, QString::number(fallback))).value_or(fallback);
}

// Fits its window on the screen once it is first shown and its frame known
// (the show event comes before the system shows it: hence the zero timer).
class ShowWatcher : public QObject
{
public:
    explicit ShowWatcher(QWidget *window)
        : QObject(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            auto *window = static_cast<QWidget *>(watched);
            window->removeEventFilter(this);
            QTimer::singleShot(0, window, [window] { fitOnScreen(window); });
            deleteLater();
        }
        return false;
    }
};

// Once per window.
void fitOnScreenOnceShown(QWidget *window)
{
    const QString name = QStringLiteral("quill_fitOnScreenOnceShown");
    if (window->findChild<QObject *>(name, Qt::FindDirectChildrenOnly))
        return;
    auto *filter = new ShowWatcher(window);
    filter->setObjectName(name);
}

} // namespace

ScreenMetrics currentScreen()
{
    if (Provider())
        return Provider()();
    ScreenMetrics metrics;
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        metrics.pixels = screen->size();
        metrics.available = screen->availableGeometry();
        if (screen->logicalDotsPerInch() > 0)
            metrics.logicalDpi = screen->logicalDotsPerInch();
    }
    return metrics;
}

void setScreenProvider(std::function<ScreenMetrics()> provider)
{
    Provider() = std::move(provider);
}

int pixelsToTwips(int pixels)
{
    return static_cast<int>(std::lround(pixels * kTwipsPerInch / currentScreen().logicalDpi));
}

int twipsToPixels(int twips)
{
    return static_cast<int>(std::lround(twips * currentScreen().logicalDpi / kTwipsPerInch));
}

QSize screenSizeTwips()
{
    const ScreenMetrics screen = currentScreen();
    const double factor = kTwipsPerInch / screen.logicalDpi;
    return QSize(static_cast<int>(std::lround(screen.pixels.width() * factor)),
                 static_cast<int>(std::lround(screen.pixels.height() * factor)));
}

QPoint clampWindowPosition(int width, int height, int x, int y)
{
    const QSize screen = screenSizeTwips();
    if (x > screen.width() || x < 0 || y < 0 || y > screen.height())
        return QPoint(centred(screen.width(), width), centred(screen.height(), height));
    return QPoint(x, y);
}

QPoint loadWindowPosition(const SettingsStore &store, const QString &prefix, int width, int height)
{
    const QSize screen = screenSizeTwips();
    const int cx = centred(screen.width(), width);
    const int cy = centred(screen.height(), height);
    const int x = storedCoordinate(store, prefix + QStringLiteral("StartUPX"), cx);
    const int y = storedCoordinate(store, prefix + QStringLiteral("StartUPY"), cy);
    return clampWindowPosition(width, height, x, y);
}

void saveWindowPosition(SettingsStore &store, const QString &prefix, int x, int y)
{
    store.save(kSettings, prefix + QStringLiteral("StartUPX"), integerText(x));
    store.save(kSettings, prefix + QStringLiteral("StartUPY"), integerText(y));
}

QPoint fitInside(const QRect &frame, const QRect &area)
{
    const int x = std::max(area.left(), std::min(frame.left(), area.left() + area.width() - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.top() + area.height() - frame.height()));
    return QPoint(x, y);
}

QRect availableArea()
{
    const ScreenMetrics screen = currentScreen();
    return screen.available.isEmpty() ? QRect(QPoint(0, 0), screen.pixels) : screen.available;
}

void fitOnScreen(QWidget *window)
{
    const QRect area = availableArea();
    const QSize margins = window->frameGeometry().size() - window->size();
    const QSize size = window->size().boundedTo(area.size() - margins);
    if (size != window->size())
        window->resize(size);
    const QPoint corner = fitInside(window->frameGeometry(), area);
    if (corner != window->pos())
        window->move(corner);
}

void placeWindow(QWidget *window, const SettingsStore &store, const QString &prefix)
{
    const QSize size = window->frameGeometry().size();
    const QPoint corner =
        loadWindowPosition(store, prefix, pixelsToTwips(size.width()), pixelsToTwips(size.height()));
    window->move(twipsToPixels(corner.x()), twipsToPixels(corner.y()));
    // A corner on the screen may still leave the window's far side (or,
    // under a panel, its title bar) outside what the desktop offers.
    fitOnScreen(window);
    fitOnScreenOnceShown(window);
}

void storeWindowPosition(const QWidget *window, SettingsStore &store, const QString &prefix)
{
    const QPoint corner = window->pos();
    saveWindowPosition(store, prefix, pixelsToTwips(corner.x()), pixelsToTwips(corner.y()));
}
