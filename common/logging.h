#pragma once

#include <QLoggingCategory>

// One category per area, silent by default (only warnings and above show):
// an administrator asking why a message never arrived switches them on with
// QT_LOGGING_RULES="quill.*=true" (or e.g. "quill.network.debug=true").
// Each refused input is logged once with its reason, and a flood is
// rate-limited by the code that logs it (see RateLimitedLog).
Q_DECLARE_LOGGING_CATEGORY(lcNetwork)   // quill.network: listening, reading, refused payloads
Q_DECLARE_LOGGING_CATEGORY(lcHistory)   // quill.history: the history file and its writer
Q_DECLARE_LOGGING_CATEGORY(lcReply)     // quill.reply: reply records, starting Quillpost
Q_DECLARE_LOGGING_CATEGORY(lcNotify)    // quill.notify: desktop notifications over D-Bus
Q_DECLARE_LOGGING_CATEGORY(lcEndpoint)  // quill.endpoint: the local endpoint between the programs
Q_DECLARE_LOGGING_CATEGORY(lcSend)      // quill.send: sending messages
Q_DECLARE_LOGGING_CATEGORY(lcSettings)  // quill.settings: the settings store
Q_DECLARE_LOGGING_CATEGORY(lcDirectory) // quill.directory: the user directory and its browsing

// Lets at most a burst of lines through per interval and counts the rest, so
// a flood of bad input cannot fill the log: allow() says whether to log now;
// suppressed() is how many were held back since the last line that went out.
class RateLimitedLog
{
public:
    static constexpr int kBurst = 10;
    static constexpr qint64 kIntervalMs = 10000;

    bool allow(qint64 nowMs);
    qint64 suppressed() const { return m_suppressed; }

private:
    qint64 m_windowStartMs = -kIntervalMs;
    int m_inWindow = 0;
    qint64 m_suppressed = 0;
};
