#pragma once

class QWidget;

// Restores a minimised window (or shows a hidden one) and makes it the
// active, front-most window.
void BringToFront(QWidget *window);
