#pragma once

#include "record/site_operation.h"

class CSiteRecorder;

// The one place an operation goes to be recorded, from either front end. The front end that
// opens a site record hands its recorder in here (and null before it destroys it); an operation
// recorded while none is set is dropped (recording is off or the site could not be opened).
// Parameters never hold a password: callers leave it out, and the recorder drops any parameter
// whose name speaks of one.

// Any thread.
void SetOperationRecorder(CSiteRecorder* recorder);
void RecordSiteOperation(SITE_OPERATION_T operation);
