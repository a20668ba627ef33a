#pragma once

// Logging: every line leaves as one UDP datagram to the log viewer on 127.0.0.1:106, in the
// order written, through a queue whose sender thread hands them over in batches
// (shell/log_queue.h). Format strings are printf-style UTF-8; %s takes a UTF-8 `const char*`.
// Callable from any thread. Lines written before CCommControl::Init are dropped silently.

#define IPS_PRINTF_LIKE(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

enum LogLevel : int {
  kLogError = 3,
  kLogInfo = 6,
  kLogDebug = 7,
};

void LogDebug(const char* format, ...) IPS_PRINTF_LIKE(1, 2);
void LogInfo(const char* format, ...) IPS_PRINTF_LIKE(1, 2);
void LogError(const char* format, ...) IPS_PRINTF_LIKE(1, 2);

// Lines are sent while this threshold is at least their level (fixed at 7: every line is sent).
constexpr int kLogThreshold = 7;

// Queues the datagram for one formatted UTF-8 line (cut to 511 UTF-16 characters) for
// CCommControl's channel. Used by the three calls above, which first ask whether a viewer may
// listen (CLogQueue::ViewerMayListen) and compose nothing when none can.
void SendLogRecord(int level, const char* text);
