#include "shell/log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "shell/comm_control.h"
#include "shell/log_record.h"

namespace {

void LogV(int level, const char* format, va_list args) {
  if (kLogThreshold < level || format == nullptr) return;
  char stackBuffer[512];
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
  uint8_t datagram[kLogDatagramMaxBytes];
  const int length = BuildLogDatagram(level, text ? text : "", datagram);
  CCommControl::GetInstance()->Send(datagram, length);
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
