#pragma once

#include <functional>

struct PACKET_RECORD_T;
struct DISCOVER_REQ_T;

// Where the control core's outbound operations build and hand over their packets. By default
// the message facade builds the discovery and the transport sends; tests replace either to
// observe what is built or to make a build fail. Set them while no operation runs.
struct OutboundHooks {
  // (packet, request, encType) -> 0 or -1, like CMsgFacade::BuildDiscoverMsg.
  std::function<int(PACKET_RECORD_T*, const DISCOVER_REQ_T*, int)> buildDiscover;
  // Receives every packet record that would go to the transport.
  std::function<void(const PACKET_RECORD_T*)> send;
  // With send set: report each packet as not sent (-1), as a transport that cannot inject does.
  bool sendFails = false;
};

// Hands a built record to the transport (or to the send hook); the transport's result, 0 for
// the hook. Every packet the program sends to devices goes this way, so tests see them all.
int SendOutbound(const PACKET_RECORD_T* packet);

// Replaces the hooks; an empty function restores the default for that hook.
void SetOutboundHooks(OutboundHooks hooks);
// Puts the discovery's envelope alternation back to its start (bare first).
void ResetDiscoveryAlternation();
