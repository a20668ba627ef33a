#include "shell/log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "shell/comm_control.h"
#include "shell/log_queue.h"

namespace {

void LogV(int level, const char* format, va_list args) {
  if (kLogThreshold < level || format == nullptr) return;
  // A line that would go nowhere is not even formatted.
  if (!CCommControl::GetInstance()->Channel().IsOpen() ||
      !CLogQueue::GetInstance()->ViewerMayListen())
    return;
  // 511 UTF-16 characters are sent at most; a longer line's tail is formatted only to be cut.
  char stackBuffer[2048];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, copy);
  va_end(copy);
  if (needed < 0) return;
  if (static_cast<size_t>(needed) < sizeof stackBuffer) {
    SendLogRecord(level, stackBuffer);
    return;
  }
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(needed));
  SendLogRecord(level, text.c_str());
}

}  // namespace

void SendLogRecord(int level, const char* text) {
  CLogQueue::GetInstance()->Post(level, text ? text : "");
}

void LogDebug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(kLogDebug, format, args);
  va_end(args);
}

void LogInfo(const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(kLogInfo, format, args);
  va_end(args);
}

void LogError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogV(kLogError, format, args);
  va_end(args);
}
