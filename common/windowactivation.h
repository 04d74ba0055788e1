#pragma once

#include <QString>

class QWidget;

// Restores a minimised window (or shows a hidden one) and makes it the
// active, front-most window.
void bringToFront(QWidget *window);

// A top-level window of a running program of this user, found by its
// caption: the local endpoint that the window answers on (see
// localendpoint.h). Empty when no such window exists.
struct WindowHandle
{
    QString caption;
    bool isValid() const { return !caption.isEmpty(); }
};

// The window whose caption is exactly caption, or an empty handle.
WindowHandle findWindowByCaption(const QString &caption);

// Asks the program that owns the window to bring it forward. Does nothing
// for an empty handle; waits a bounded time for the program to answer.
void bringToFront(const WindowHandle &window);
