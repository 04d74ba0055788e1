#pragma once

#include <QString>

// A name that came from elsewhere (the network, a reply record) as a window
// shows it. Control characters (line breaks among them) and the marks that
// steer the text's direction are shown as visible symbols, and a name
// holding right-to-left text is isolated, so that no name can draw a line of
// its own or turn the text around it (an address, a port) around. The name
// itself is kept as it came; only what is shown changes.
QString shownName(const QString &name);
