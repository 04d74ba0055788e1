#include "windowposition.h"

#include "conversions.h"
#include "settingsstore.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
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

} // namespace

ScreenMetrics currentScreen()
{
    if (Provider())
        return Provider()();
    ScreenMetrics metrics;
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        metrics.pixels = screen->size();
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

void placeWindow(QWidget *window, const SettingsStore &store, const QString &prefix)
{
    const QSize size = window->frameGeometry().size();
    const QPoint corner =
        loadWindowPosition(store, prefix, pixelsToTwips(size.width()), pixelsToTwips(size.height()));
    window->move(twipsToPixels(corner.x()), twipsToPixels(corner.y()));
}

void storeWindowPosition(const QWidget *window, SettingsStore &store, const QString &prefix)
{
    const QPoint corner = window->pos();
    saveWindowPosition(store, prefix, pixelsToTwips(corner.x()), pixelsToTwips(corner.y()));
}
