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

int Centred(int screen, int window)
{
    return static_cast<int>(RoundHalfEven(screen / 2.0 - window / 2.0));
}

int StoredCoordinate(const SettingsStore &store, const QString &key, int fallback)
{
    return IntegerOf(store.get(kSettings, key, QString::number(fallback))).value_or(fallback);
}

} // namespace

ScreenMetrics CurrentScreen()
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

void SetScreenProvider(std::function<ScreenMetrics()> provider)
{
    Provider() = std::move(provider);
}

int PixelsToTwips(int pixels)
{
    return static_cast<int>(std::lround(pixels * kTwipsPerInch / CurrentScreen().logicalDpi));
}

int TwipsToPixels(int twips)
{
    return static_cast<int>(std::lround(twips * CurrentScreen().logicalDpi / kTwipsPerInch));
}

QSize ScreenSizeTwips()
{
    const ScreenMetrics screen = CurrentScreen();
    const double factor = kTwipsPerInch / screen.logicalDpi;
    return QSize(static_cast<int>(std::lround(screen.pixels.width() * factor)),
                 static_cast<int>(std::lround(screen.pixels.height() * factor)));
}

QPoint ClampWindowPosition(int width, int height, int x, int y)
{
    const QSize screen = ScreenSizeTwips();
    if (x > screen.width() || x < 0 || y < 0 || y > screen.height())
        return QPoint(Centred(screen.width(), width), Centred(screen.height(), height));
    return QPoint(x, y);
}

QPoint LoadWindowPosition(const SettingsStore &store, const QString &prefix, int width, int height)
{
    const QSize screen = ScreenSizeTwips();
    const int cx = Centred(screen.width(), width);
    const int cy = Centred(screen.height(), height);
    const int x = StoredCoordinate(store, prefix + QStringLiteral("StartUPX"), cx);
    const int y = StoredCoordinate(store, prefix + QStringLiteral("StartUPY"), cy);
    return ClampWindowPosition(width, height, x, y);
}

void SaveWindowPosition(SettingsStore &store, const QString &prefix, int x, int y)
{
    store.save(kSettings, prefix + QStringLiteral("StartUPX"), IntegerText(x));
    store.save(kSettings, prefix + QStringLiteral("StartUPY"), IntegerText(y));
}

void PlaceWindow(QWidget *window, const SettingsStore &store, const QString &prefix)
{
    const QSize size = window->frameGeometry().size();
    const QPoint corner =
        LoadWindowPosition(store, prefix, PixelsToTwips(size.width()), PixelsToTwips(size.height()));
    window->move(TwipsToPixels(corner.x()), TwipsToPixels(corner.y()));
}

void StoreWindowPosition(const QWidget *window, SettingsStore &store, const QString &prefix)
{
    const QPoint corner = window->pos();
    SaveWindowPosition(store, prefix, PixelsToTwips(corner.x()), PixelsToTwips(corner.y()));
}
