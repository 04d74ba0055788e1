#pragma once

class QWidget;

// Restores a minimised window (or shows a hidden one) and makes it the
// active, front-most window. A window of another running program is asked to
// do so through its local endpoint (EndpointRequest::bringToFront).
void bringToFront(QWidget *window);
