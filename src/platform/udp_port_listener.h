#pragma once

// Whether any UDP socket of this network namespace is bound to the local port (IPv4 or IPv6,
// any address). True as well when that cannot be found out: a caller only leaves out what it
// is sure nobody would receive.
bool UdpPortMayHaveListener(int port);
