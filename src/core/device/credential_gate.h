#pragma once

#include "core/device/device_operations.h"

// Devices may lock an account after a few failed logins, so a batch that authenticates many
// devices with one user name and password must not try a wrong credential on all of them. The
// batch records each device's answer here and asks Closed() before authenticating the next:
// once the first kProbeDevices refusals came and no device accepted the credential, the gate
// closes and the rest are not tried (the front end asks for the credential again). One
// acceptance opens it for good: the credential is right and the devices that refuse it have
// another one, so the batch goes on and names them one by one. A device that did not answer
// says nothing about the credential and counts neither way.
class CCredentialGate {
public:
  static constexpr int kProbeDevices = 3;

  explicit CCredentialGate(int probeDevices = kProbeDevices);

  void Record(device_ops::AuthOutcome outcome);
  bool Closed() const { return m_accepted == 0 && m_refused >= m_probeDevices; }
  // Devices refused the credential and none accepted it (the gate need not have closed: a
  // batch of two may both refuse). The front end asks for the credential again.
  bool OnlyRefusals() const { return m_accepted == 0 && m_refused > 0; }
  int Refused() const { return m_refused; }

private:
  int m_probeDevices;
  int m_accepted = 0;
  int m_refused = 0;
};
