#pragma once

// True when this process runs inside a network namespace made with "ip netns add" (one of
// /run/netns). Tools that send device traffic refuse to run anywhere else, so nothing they
// inject can reach a real interface of the machine.
bool InSeparateNetns();
