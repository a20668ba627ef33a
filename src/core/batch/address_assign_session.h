#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/batch/address_assign_run.h"
#include "core/batch/address_plan.h"
#include "core/batch/plan_file.h"
#include "core/common/op_clock.h"

class CArpProbe;
class CControl;

// One address assignment from start to end, the same for the command line and the window:
//   - the adapter the devices are planned against and probed on: the first with an open
//     capture, with its address and the mask of its network;
//   - the ARP probe on that adapter, whose replies come through the capture's frame tap; the
//     tap is set while the session lives and removed when it ends;
//   - planning, from a range or from a plan file through one path (plan, probe the addresses
//     the plan takes, plan again with the claims seen, until no new address comes up), and the
//     check of an edited plan before it is applied;
//   - the run, and the operation handed to the site record when it has ended.
// The front ends gather the input, call it and show the results. Qt-free.

// The adapter the session plans against and probes on.
struct AssignAdapter {
  std::string name;
  uint8_t mac[6] = {};
  IPV4_SUBNET_T subnet;  // its own address and the mask of its network
};

// What the session needs of the capture; Transport() is the program's own.
struct AssignCapture {
  // The first adapter whose capture is open, or nothing.
  std::function<std::optional<AssignAdapter>()> openAdapter;
  // Injects one ARP probe on the named adapter; true when it left.
  std::function<bool(const uint8_t* frame, int length, const std::string& adapter)> sendProbe;
  // Sets the receiver of captured frames that are not device datagrams; null removes it.
  std::function<void(std::function<void(const uint8_t* frame, int length)> tap)> setTap;

  static AssignCapture Transport();
};

class CAddressAssignSession {
public:
  // Takes the finished run's outcomes with the parameters the front end chose (never a
  // password); the front end records them in the site record as its own.
  using Recorder = std::function<void(const std::vector<AssignOutcome>& outcomes,
                                      const std::map<std::string, std::string>& parameters)>;

  CAddressAssignSession(CControl& control, Recorder recorder,
                        AssignCapture capture = AssignCapture::Transport(),
                        IOpClock& clock = SteadyOpClock());
  // Removes the frame tap; a receive thread still inside it keeps the probe alive until it leaves.
  ~CAddressAssignSession();
  CAddressAssignSession(const CAddressAssignSession&) = delete;
  CAddressAssignSession& operator=(const CAddressAssignSession&) = delete;

  // Chooses the adapter and sets the ARP probe on its tap (once; later calls return the same).
  // An empty subnet when no capture is open: nothing can be probed then, and planning fails.
  IPV4_SUBNET_T OpenAdapter();
  bool HasAdapter() const { return m_probe != nullptr; }

  // The devices to move, the whole device table (with the devices handed in that the table has
  // lost since, so that an address any of them holds counts as used) and the defaults. The
  // adapter is OpenAdapter's.
  void FillInputs(PlanInputs* inputs, std::vector<DEVICE_ENTRY_T> devices,
                  PlanDefaults defaults) const;

  // Plans and probes until the plan stands; inputs.arpAnswers ends with every claim seen. False
  // when a probe could not finish (its answers are then not to be trusted, and nothing should be
  // sent). A plan file with row errors is not probed: the plan carries them.
  bool PlanRange(PlanInputs& inputs, const RangeRule& rule, AddressPlan* plan);
  bool PlanByFile(PlanInputs& inputs, const PlanFile& file, AddressPlan* plan);
  // Probes the addresses the plan holds now (after edits; a host may also have come up since)
  // and checks the whole plan again with the claims seen. False when the probe did not finish.
  bool Recheck(PlanInputs& inputs, AddressPlan* plan);

  // The run's operations through the control core with the credential (the password stays in
  // the closures); a host claiming a planned address during the run is seen by this probe.
  AssignOps Ops(const std::string& user, const std::string& password);

  // Moves the devices, then hands the outcomes and the parameters to the recorder. progress
  // runs after each device ends, on the calling thread.
  std::vector<AssignOutcome> Run(std::vector<PlannedDevice> devices, AssignOps ops,
                                 const AssignOptions& options,
                                 const std::map<std::string, std::string>& parameters,
                                 std::function<void(const AssignOutcome&)> progress = {});

private:
  bool PlanWithProbe(PlanInputs& inputs,
                     const std::function<AddressPlan(const PlanInputs&)>& planner,
                     AddressPlan* plan);

  CControl& m_control;
  Recorder m_recorder;
  AssignCapture m_capture;
  IOpClock& m_clock;
  bool m_opened = false;
  IPV4_SUBNET_T m_subnet;
  // Shared with the tap: a receive thread may still be inside it when the session ends.
  std::shared_ptr<CArpProbe> m_probe;
};
