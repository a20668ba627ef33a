#pragma once

#include "core/batch/address_plan.h"

class CArpProbe;

// Plans from the range and probes by ARP every address the plan takes; a host answering for one
// moves the plan on, and the newly taken addresses are probed in the next round. The rounds are
// bounded, so a segment full of answering hosts cannot keep it going. inputs.arpAnswers ends
// with every claim the probe saw. False when a probe could not finish (its answers are then not
// to be trusted, and nothing should be sent).
bool PlanRangeWithProbe(PlanInputs& inputs, const RangeRule& rule, CArpProbe& probe,
                        AddressPlan* plan);

// Probes the addresses the plan holds now (after edits) and checks the whole plan again with the
// claims seen. False when the probe could not finish.
bool RecheckPlanWithProbe(PlanInputs& inputs, CArpProbe& probe, AddressPlan* plan);
