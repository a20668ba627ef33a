#pragma once

#include "protocol/request_records.h"

// The discovery request the program multicasts: protocol kProtocolVersion, extension "-1", flag
// "5", reserved "0", sequence number 0; every other field empty.
DISCOVER_REQ_T MakeDiscoverRequest();
