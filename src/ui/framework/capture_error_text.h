#pragma once

// A capture failure in the catalog's language, for the window: the words of its kind come from
// the catalog (their English texts are the keys), its parts (adapter, helper, group) are filled
// in as they are, and words of the capture library or the system, which no catalog knows, are
// shown as they came.

#include <QString>

#include "core/control/capture_control.h"

QString CaptureFailureMessage(const CaptureFailure& failure);
