#include "logging.h"

// Debug and info lines are off unless switched on; warnings show.
Q_LOGGING_CATEGORY(lcNetwork, "quill.network", QtWarningMsg)
Q_LOGGING_CATEGORY(lcHistory, "quill.history", QtWarningMsg)
Q_LOGGING_CATEGORY(lcReply, "quill.reply", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNotify, "quill.notify", QtWarningMsg)
Q_LOGGING_CATEGORY(lcEndpoint, "quill.endpoint", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSend, "quill.send", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSettings, "quill.settings", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDirectory, "quill.directory", QtWarningMsg)

bool RateLimitedLog::allow(qint64 nowMs)
{
    if (nowMs - m_windowStartMs >= kIntervalMs) {
        m_windowStartMs = nowMs;
        m_inWindow = 0;
    }
    if (m_inWindow < kBurst) {
        ++m_inWindow;
        return true;
    }
    ++m_suppressed;
    return false;
}
