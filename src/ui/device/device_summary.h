#pragma once

// How a question or a note names a device: its model, IP address and room number, each on its
// own line with the catalog's label ("Model: DS-410"), the empty ones left out. Device texts, so
// show the result as plain text only.

#include <QString>

#include "core/common/device_entry.h"

QString DeviceSummary(const DEVICE_ENTRY_T& device);

// The catalog's question followed by the device's summary, after a blank line.
QString QuestionAboutDevice(const QString& questionKey, const DEVICE_ENTRY_T& device);
