#include "core/control/capture_subnets.h"

#include <string>

#include "transport/mac_proto_control.h"

std::vector<IPV4_SUBNET_T> CaptureSubnets() {
  std::vector<std::string> names;
  for (const NET_ADAPTER_T& adapter : CMacProtoControl::GetInstance()->GetAdapterList()) {
    names.push_back(adapter.name);
  }
  return ListAdapterSubnets(names);
}
