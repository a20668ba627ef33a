#pragma once

#include "core/common/device_entry.h"

// Who hears of every discovery answer besides the device table: the site recorder. Called on
// the control core's worker thread once the table holds the answer, for every answer, so a
// listener does constant work and never waits. Process-wide, like the site record.
class IDeviceAnswerListener {
public:
  virtual ~IDeviceAnswerListener() = default;
  virtual void OnDeviceAnswer(const DEVICE_ENTRY_T& device) = 0;
};

void AddDeviceAnswerListener(IDeviceAnswerListener* listener);
// After it returns the listener is not called any more (a call in progress has ended).
void RemoveDeviceAnswerListener(IDeviceAnswerListener* listener);
// Worker thread: hands the answer to every listener.
void NotifyDeviceAnswer(const DEVICE_ENTRY_T& device);
