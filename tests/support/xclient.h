#pragma once
// Requests to the window manager, sent as the desktop's own tools send them
// (a client message to the root window). Tests that include this link xcb.

#include <QString>
#include <cstdlib>
#include <xcb/xcb.h>

// Sends the client message named atomName about window, with two data words.
inline bool SendToWindowManager(const QString &display, quint32 window, const char *atomName, quint32 first,
                                quint32 second = 0)
{
    xcb_connection_t *connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<quint16>(qstrlen(atomName)), atomName),
        nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    bool sent = false;
    if (atom) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom->atom;
        event.data.data32[0] = first;
        event.data.data32[1] = second;
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
        sent = xcb_flush(connection) > 0;
        std::free(atom);
    }
    xcb_disconnect(connection);
    return sent;
}
