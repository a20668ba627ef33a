#pragma once

#include <vector>

#include "platform/adapter_subnets.h"

// The IPv4 networks of the adapters the capture has open: the networks whose devices this
// computer reaches by IP. Empty before the capture is open.
std::vector<IPV4_SUBNET_T> CaptureSubnets();
