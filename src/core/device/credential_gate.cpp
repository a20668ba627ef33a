#include "core/device/credential_gate.h"

#include <algorithm>

CCredentialGate::CCredentialGate(int probeDevices) : m_probeDevices(std::max(1, probeDevices)) {}

void CCredentialGate::Record(device_ops::AuthOutcome outcome) {
  switch (outcome) {
    case device_ops::AuthOutcome::kAccepted:
      ++m_accepted;
      break;
    case device_ops::AuthOutcome::kRefused:
    case device_ops::AuthOutcome::kEmptyCredentials:
      ++m_refused;
      break;
    case device_ops::AuthOutcome::kNoAnswer:
    case device_ops::AuthOutcome::kNotBuilt:
      break;
  }
}
