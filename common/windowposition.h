#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

class QWidget;
class SettingsStore;

// Window start positions, stored in twips (1/1440 inch) under
// "<prefix>StartUPX" / "<prefix>StartUPY" in section "Settings".

struct ScreenMetrics
{
    QSize pixels;             // the primary screen's size
    double logicalDpi = 96.0; // pixels per logical inch
    QRect available;          // where windows may go (no panels); empty: all of it
};

// The primary screen, unless a test has put its own screen in place.
ScreenMetrics currentScreen();
// Replaces the screen for tests; an empty function restores the real one.
void setScreenProvider(std::function<ScreenMetrics()> provider);

int pixelsToTwips(int pixels);
int twipsToPixels(int twips);
QSize screenSizeTwips();

// The stored top-left corner for a window of that size (twips), centred when
// absent or off the screen.
QPoint loadWindowPosition(const SettingsStore &store, const QString &prefix, int width, int height);
// (x, y) when on the screen, else the centred corner for that size.
QPoint clampWindowPosition(int width, int height, int x, int y);
void saveWindowPosition(SettingsStore &store, const QString &prefix, int x, int y);

// The top-left corner nearest to frame's that puts a frame of its size
// inside area; one larger than area keeps its top-left edge (its title bar)
// at area's.
QPoint fitInside(const QRect &frame, const QRect &area);
// The part of the screen windows may cover, in pixels.
QRect availableArea();
// Moves a top-level window, shrunk first if need be, so that its frame lies
// inside the available area (its title bar at least, when its least size is
// larger). Before a window is first shown its frame is not yet known.
void fitOnScreen(QWidget *window);

// The same for a widget: place it at its stored position (fitOnScreen() then,
// and again once it is first shown), and store where it is.
void placeWindow(QWidget *window, const SettingsStore &store, const QString &prefix);
void storeWindowPosition(const QWidget *window, SettingsStore &store, const QString &prefix);
